"""Measures, closure, parts, edges and triangulation of whole meshes on gmsh-made meshes, against
independent computations (convex hulls, numpy edge counts, scipy connected components); and the
geometry functions against numpy."""
import pathlib
import shutil
import subprocess

import numpy as np
import pytest
from scipy.sparse import coo_matrix
from scipy.sparse.csgraph import connected_components
from scipy.spatial import ConvexHull
from scipy.spatial.transform import Rotation

import quernfold as qf

OCC = 'SetFactory("OpenCASCADE");\n'
# name: (dimension, volume or area, script)
GEO = {
    "two_boxes": (3, 2.0, OCC + "Box(1) = {0,0,0, 1,1,1}; Box(2) = {2,0,0, 1,2,0.5}; Mesh.MeshSizeMax = 0.4;"),
    "hex_wedge": (3, 1.0, """Point(1)={0,0,0}; Point(2)={1,0,0}; Point(3)={1,1,0}; Point(4)={0,1,0};
        Point(5)={2,0,0}; Point(6)={2,1,0}; Line(1)={1,2}; Line(2)={2,3}; Line(3)={3,4}; Line(4)={4,1};
        Line(5)={2,5}; Line(6)={5,6}; Line(7)={6,3}; Curve Loop(1)={1,2,3,4}; Plane Surface(1)={1};
        Curve Loop(2)={5,6,7,-2}; Plane Surface(2)={2}; Transfinite Curve{1:7} = 4;
        Transfinite Surface{1}; Recombine Surface{1};
        Extrude {0,0,0.5} { Surface{1,2}; Layers{3}; Recombine; }"""),
    "sphere": (2, None, OCC + "Sphere(1) = {0,0,0, 1}; Mesh.MeshSizeMax = 0.3;"),
    "plate": (2, 2.0, OCC + "Rectangle(1) = {0,0,0, 2,1}; Mesh.RecombineAll = 1; Mesh.MeshSizeMax = 0.3;"),
}
BLOCK = pathlib.Path(__file__).resolve().parents[2] / "tests" / "fixtures" / "tools" / "gmsh_block.bdf"
DIM = {"line": 1, "triangle": 2, "quad": 2, "tetra": 3, "hexahedron": 3, "wedge": 3, "pyramid": 3}
CYCLES = {"triangle": [0, 1, 2, 0], "quad": [0, 1, 2, 3, 0]}


@pytest.fixture(scope="module", params=GEO)
def made(request, tmp_path_factory):
    if not shutil.which("gmsh"):
        pytest.skip("gmsh is not installed")
    dim, total, script = GEO[request.param]
    d = tmp_path_factory.mktemp(request.param)
    (d / "m.geo").write_text(script + "\n")
    subprocess.run(["gmsh", f"-{dim}", str(d / "m.geo"), "-o", str(d / "m.msh")], check=True, capture_output=True)
    return qf.read(d / "m.msh"), dim, total


def hull_size(points):
    """Volume of the convex hull (area for a cell flat along an axis): the size of a convex cell."""
    return ConvexHull(points[:, np.ptp(points, 0) > 0]).volume


def oracle_sizes(mesh, block):
    p = mesh.points[block.data]
    if block.type == "line":
        return np.linalg.norm(p[:, 1] - p[:, 0], axis=1)
    if block.type == "triangle":
        return 0.5 * np.linalg.norm(np.cross(p[:, 1] - p[:, 0], p[:, 2] - p[:, 0]), axis=1)
    return np.array([hull_size(c) for c in p])


def top_blocks(mesh, dim):
    return [b for b in mesh.cells if DIM.get(b.type) == dim]


def surface_edges(blocks):
    """Directed edges (rows) of triangles and quads, in their turn."""
    return np.vstack([np.stack([b.data[:, CYCLES[b.type][:-1]], b.data[:, CYCLES[b.type][1:]]], -1).reshape(-1, 2)
                      for b in blocks if b.type in CYCLES])


def edge_oracle(blocks):
    """(watertight, consistent, boundary edges) of a surface by counting its edges."""
    directed = surface_edges(blocks)
    undirected, counts = np.unique(np.sort(directed, axis=1), axis=0, return_counts=True)
    consistent = len(np.unique(directed, axis=0)) == len(directed)
    return bool((counts == 2).all()), consistent, undirected[counts == 1]


def test_sizes_totals_and_triangulation(made):
    mesh, dim, total = made
    for block, sizes in zip(mesh.cells, qf.cell_sizes(mesh)):
        if block.type in DIM:
            np.testing.assert_allclose(sizes, oracle_sizes(mesh, block), rtol=1e-9, atol=1e-15)
    measure = qf.volume if dim == 3 else qf.area
    expected = total or sum(oracle_sizes(mesh, b).sum() for b in top_blocks(mesh, 2))
    assert measure(mesh) == pytest.approx(expected, rel=1e-9)
    pieces = qf.triangulate(mesh)
    assert {b.type for b in pieces.cells} <= {"line", "triangle", "tetra"}
    assert measure(pieces) == pytest.approx(expected, rel=1e-9)
    assert qf.area(pieces) == pytest.approx(qf.area(mesh), rel=1e-9)
    assert all((s > 0).all() for b, s in zip(pieces.cells, qf.cell_sizes(pieces)) if b.type == "tetra")
    closure = (qf.is_watertight, qf.is_winding_consistent)
    assert [f(pieces) for f in closure] == [f(mesh) for f in closure]


def test_closure_winding_edges_outline(made):
    mesh, dim, _ = made
    skin = qf.boundary(mesh) if dim == 3 else mesh
    watertight, consistent, open_edges = edge_oracle(top_blocks(skin, 2))
    assert (qf.is_watertight(mesh), qf.is_winding_consistent(mesh)) == (watertight, consistent)
    assert watertight == (dim == 3 or mesh.points[:, 2].any())  # only the plate is open
    if dim == 2:
        edges = np.unique(np.sort(surface_edges(top_blocks(mesh, 2)), axis=1), axis=0)
        np.testing.assert_array_equal(qf.unique_edges(mesh), edges)
        lines = qf.outline(mesh).cells
        got = np.sort(lines[0].data, axis=1) if lines else np.zeros((0, 2))
        np.testing.assert_array_equal(got[np.lexsort(got.T[::-1])], open_edges)
    # One cell turned over breaks the winding.
    top = top_blocks(mesh, dim)[0]
    flipped = top.data.copy()
    flipped[0] = flipped[0, FLIP[top.type]]
    broken = qf.Mesh(mesh.points, [(top.type, flipped)])
    assert qf.facets(broken)["misturned"] > 0 and not qf.is_winding_consistent(broken)


FLIP = {"triangle": [0, 2, 1], "quad": [0, 3, 2, 1], "tetra": [0, 2, 1, 3],
        "hexahedron": [4, 5, 6, 7, 0, 1, 2, 3], "wedge": [3, 4, 5, 0, 1, 2]}


def test_connected_parts(made):
    mesh, _, _ = made
    cells = [b.data for b in mesh.cells if b.type in DIM]
    pairs = np.vstack([np.stack([c[:, 0].repeat(c.shape[1]), c.ravel()], 1) for c in cells])
    n = len(mesh.points)
    graph = coo_matrix((np.ones(len(pairs)), (pairs[:, 0], pairs[:, 1])), shape=(n, n))
    _, labels = connected_components(graph, directed=False)
    used = np.unique(np.concatenate([c.ravel() for c in cells]))
    parts = qf.connected_parts(mesh)
    assert len(parts) == len(np.unique(labels[used]))
    got = sorted(sorted(map(tuple, p.points)) for p in parts)
    want = sorted(sorted(map(tuple, mesh.points[used[labels[used] == k]])) for k in np.unique(labels[used]))
    assert got == want
    assert sum(len(b) for p in parts for b in p.cells) == sum(len(c) for c in cells)


def test_normals_on_sphere(made):
    mesh, dim, _ = made
    tri = [b.data for b in mesh.cells if b.type == "triangle"]
    if dim != 2 or not mesh.points[:, 2].any():
        pytest.skip("a closed surface of triangles")
    t, p = tri[0], mesh.points
    cross = np.cross(p[t[:, 1]] - p[t[:, 0]], p[t[:, 2]] - p[t[:, 0]])
    np.testing.assert_allclose(qf.face_normals(p, t), cross / np.linalg.norm(cross, axis=1)[:, None], atol=1e-12)
    summed = np.zeros_like(p)
    for k in range(3):
        np.add.at(summed, t[:, k], cross)
    normals = qf.vertex_normals(p, t)
    used = np.unique(t)
    np.testing.assert_allclose(normals[used], summed[used] / np.linalg.norm(summed[used], axis=1)[:, None], atol=1e-12)
    assert (np.einsum("ij,ij->i", normals[used], p[used]) > 0.9).all()  # outwards on a unit sphere


RNG = np.random.default_rng(7)
P3 = RNG.random((30, 3))
CELLS = RNG.integers(0, 30, (12, 4))
R = np.array([0.3, -0.2, 0.9])


@pytest.mark.parametrize("call, expect", [
    (lambda: qf.translate(P3, [1, 2, 3]), lambda: P3 + [1, 2, 3]),
    (lambda: qf.translate(P3, [1, 2, 3], nodes=[4, 4]), lambda: P3 + np.isin(np.arange(30), [4])[:, None] * [2, 4, 6]),
    (lambda: qf.rotate(P3, R, center=[1, 0, 0]), lambda: Rotation.from_rotvec(R).apply(P3 - [1, 0, 0]) + [1, 0, 0]),
    (lambda: qf.rotate(P3[:, :2], 0.7), lambda: Rotation.from_rotvec([0, 0, 0.7]).apply(np.c_[P3[:, :2], 0 * P3[:, 0]])[:, :2]),
    (lambda: qf.zoom(P3, 2.5, center=[0, 1, 0], nodes=CELLS),
     lambda: np.where(np.isin(np.arange(30), CELLS)[:, None], [0, 1, 0] + 2.5 * (P3 - [0, 1, 0]), P3)),
    (lambda: np.vstack(qf.bounding_box(P3, nodes=[3, 9])), lambda: np.vstack([P3[[3, 9]].min(0), P3[[3, 9]].max(0)])),
    (lambda: qf.centroids(P3, CELLS, "quad"), lambda: P3[CELLS].mean(1)),
    (lambda: qf.clip(P3, CELLS, [0.5, 0.5, 0.5], [0, 1, 1]), lambda: CELLS[((P3[CELLS] - 0.5) @ [0, 1, 1] >= 0).all(1)]),
    (lambda: (lambda p, c: p[c])(*qf.copies(P3, CELLS, 2, [1, 0, 0], R)),
     lambda: np.concatenate([(Rotation.from_rotvec(i * R).apply(P3) + [i, 0, 0])[CELLS] for i in (1, 2)])),
    (lambda: (lambda p, c: p[c])(*qf.mirror(P3, CELLS, [0, 0, 1], [0, 0, 2])), lambda: P3[CELLS] * [1, 1, -1] + [0, 0, 2]),
])
def test_geometry_against_numpy(call, expect):
    np.testing.assert_allclose(call(), expect(), atol=1e-12)


def test_mesh_transforms_and_quadratic_kinds():
    """Quadratic kinds answer as their corners; a Mesh moves as its points."""
    mesh = qf.read(BLOCK)
    tet = next(b.data for b in mesh.cells if b.type == "tetra")
    pairs = tet[:, [0, 1, 1, 2, 2, 0, 0, 3, 1, 3, 2, 3]].reshape(-1, 6, 2)  # meshio's tetra10 edges
    mids = mesh.points[pairs].mean(2).reshape(-1, 3)
    points = np.vstack([mesh.points, mids])
    tet10 = np.hstack([tet, len(mesh.points) + np.arange(len(mids)).reshape(-1, 6)])
    for f in (qf.shape_qualities, qf.jacobians, qf.centroids):
        np.testing.assert_allclose(f(points, tet10, "tetra10"), f(points, tet, "tetra"), rtol=1e-14)
    np.testing.assert_array_equal(qf.neighbors(tet10, "tetra10"), qf.neighbors(tet, "tetra"))
    np.testing.assert_array_equal(np.hstack(qf.subdomains(tet10, "tetra10")), np.hstack(qf.subdomains(tet, "tetra")))
    n = len(mesh.points)
    np.testing.assert_allclose(qf.size_map(points, tet10, "tetra10")[:n], qf.size_map(points, tet, "tetra")[:n])
    moved = qf.rotate(mesh, [0, 0, np.pi / 2])
    assert moved.cells[0].data is mesh.cells[0].data and qf.volume(moved) == pytest.approx(qf.volume(mesh))


def unpack(m):
    """Packed upper triangles (n, 3 | 6) as symmetric matrices (n, d, d)."""
    d = 2 if m.shape[1] == 3 else 3
    i, j = np.triu_indices(d)
    order = np.lexsort((i, j))  # packed by columns: 00, 01, 11, 02, 12, 22
    full = np.zeros((len(m), d, d))
    full[:, i[order], j[order]] = m
    full[:, j[order], i[order]] = m
    return full


def pack(full):
    d = full.shape[1]
    i, j = np.triu_indices(d)
    order = np.lexsort((i, j))
    return full[:, i[order], j[order]]


@pytest.mark.parametrize("d", [2, 3])
def test_metric_algebra_against_numpy(d):
    from scipy.linalg import eigh
    a = RNG.normal(size=(20, d, d))
    m1, m2 = pack(a @ a.transpose(0, 2, 1) + 0.1 * np.eye(d)), pack(RNG.normal(size=(20, d, d)) @ a + np.eye(d))
    m2 = pack(unpack(m2) @ unpack(m2).transpose(0, 2, 1) + 0.1 * np.eye(d))
    values, vectors = qf.metric_eigen(m1)
    np.testing.assert_allclose(values, np.linalg.eigvalsh(unpack(m1)), rtol=1e-9)
    np.testing.assert_allclose(vectors @ (values[:, :, None] * vectors.transpose(0, 2, 1)), unpack(m1), atol=1e-9)
    for combine, pick in ((qf.metric_intersection, np.maximum), (qf.metric_union, np.minimum)):
        want = []
        for x, y in zip(unpack(m1), unpack(m2)):
            lam, p = eigh(y, x)  # p.T x p = I, p.T y p = diag(lam)
            q = np.linalg.inv(p)
            want.append(q.T @ np.diag(pick(1, lam)) @ q)
        np.testing.assert_allclose(unpack(combine(m1, m2)), want, rtol=1e-7, atol=1e-9)
    h = RNG.random(20) + 0.5
    np.testing.assert_allclose(unpack(qf.metrics_from_sizes(h, d)), np.eye(d) / h[:, None, None] ** 2)
    np.testing.assert_allclose(qf.sizes_from_metrics(qf.metrics_from_sizes(h, d)), h)
    bad = m1.copy()
    bad[::3] *= -1
    np.testing.assert_array_equal(qf.is_valid_metric(bad), np.linalg.eigvalsh(unpack(bad))[:, 0] > 0)
    fixed, count = qf.overwrite_invalid_metrics(bad, m2)
    np.testing.assert_array_equal(fixed, np.where(qf.is_valid_metric(bad)[:, None], bad, m2))
    bounded, changed = qf.bound_metrics(h, 0.8, 1.2)
    np.testing.assert_array_equal(bounded, np.clip(h, 0.8, 1.2))
    np.testing.assert_array_equal(changed, np.flatnonzero(bounded != h))
    if d == 3:
        frames = RNG.normal(size=(20, 6))
        p = frames.reshape(20, 2, 3).transpose(0, 2, 1)
        np.testing.assert_allclose(unpack(qf.project_metrics(m1, frames)), p.transpose(0, 2, 1) @ unpack(m1) @ p,
                                   atol=1e-12)


def test_edges_shocks_and_interfaces():
    mesh = qf.read(BLOCK)
    points, tet = mesh.points, next(b.data for b in mesh.cells if b.type == "tetra")
    pairs = np.sort(tet[:, [0, 1, 0, 2, 0, 3, 1, 2, 1, 3, 2, 3]].reshape(-1, 2), axis=1)
    np.testing.assert_array_equal(qf.edges(tet, "tetra"), np.unique(pairs, axis=0))
    h = 0.1 + RNG.random(len(points))
    length = np.linalg.norm(points[pairs[:, 0]] - points[pairs[:, 1]], axis=1)
    h0, h1 = h[pairs[:, 0]], h[pairs[:, 1]]
    log_mean = np.where(h0 == h1, h0, (h1 - h0) / np.log(h1 / h0))
    shock = np.maximum(h0, h1) / np.minimum(h0, h1)
    shock = shock ** (log_mean / length) - 1
    want = np.zeros(len(points))
    np.maximum.at(want, pairs[:, 0], shock)
    np.maximum.at(want, pairs[:, 1], shock)
    np.testing.assert_allclose(qf.size_shocks(points, pairs, h), want, rtol=1e-6)
    colors = RNG.integers(0, 3, len(tet))
    nbr = qf.neighbors(tet, "tetra", True)
    other = np.where(nbr == qf.NO_INDEX, -1, colors[np.minimum(nbr, len(tet) - 1)])
    lone = (nbr == qf.NO_INDEX) | (other != colors[:, None])
    for both in (False, True):
        expect = lone & ((nbr == qf.NO_INDEX) | both | (nbr > np.arange(len(tet))[:, None]))
        assert len(qf.color_interfaces(tet, "tetra", colors, both)) == expect.sum()


IDEAL = {"triangle": [[0, 0, 0], [1, 0, 0], [0.5, 3 ** 0.5 / 2, 0]],
         "quad": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
         "tetra": [[0, 0, 0], [1, 0, 0], [0.5, 3 ** 0.5 / 2, 0], [0.5, 3 ** 0.5 / 6, (2 / 3) ** 0.5]],
         "wedge": [[0, 0, 0], [1, 0, 0], [0.5, 3 ** 0.5 / 2, 0], [0, 0, 1], [1, 0, 1], [0.5, 3 ** 0.5 / 2, 1]],
         "hexahedron": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0], [0, 0, 1], [1, 0, 1], [1, 1, 1], [0, 1, 1]]}
ANGLE = {"triangle": 60, "quad": 90, "tetra": np.degrees(np.arccos(1 / 3)), "wedge": 60, "hexahedron": 90}


@pytest.mark.parametrize("kind", IDEAL)
def test_named_qualities_of_ideal_and_inverted_cells(kind):
    pts = np.array(IDEAL[kind], float)
    cells = np.arange(len(pts))[None]
    mesh = qf.Mesh(np.vstack([pts, pts * [1, 1, -1]]), [(kind, np.vstack([cells, cells + len(pts)]))])
    q = {m: qf.cell_qualities(mesh, m)[0] for m in ("shape", "aspect_ratio", "radius_ratio", "min_angle",
                                                    "scaled_jacobian")}
    np.testing.assert_allclose([q["shape"][0], q["aspect_ratio"][0], q["min_angle"][0], q["scaled_jacobian"][0]],
                               [1, 1, ANGLE[kind], 1], rtol=1e-12)
    assert np.isnan(q["radius_ratio"][0]) == (kind not in ("triangle", "tetra"))
    if kind in ("tetra", "wedge", "hexahedron"):  # the mirror image is inverted
        assert q["scaled_jacobian"][1] == pytest.approx(-1) and q["shape"][1] < 0


def test_radius_ratio_and_aspect_ratio_against_numpy(made):
    mesh, dim, _ = made
    for b, rr, ar in zip(mesh.cells, qf.cell_qualities(mesh, "radius_ratio"), qf.cell_qualities(mesh, "aspect_ratio")):
        if b.type != "tetra":
            continue
        p = mesh.points[b.data]
        e = p[:, [1, 2, 3, 2, 3, 3]] - p[:, [0, 0, 0, 1, 1, 2]]
        lengths = np.linalg.norm(e, axis=2)
        np.testing.assert_allclose(ar, lengths.max(1) / lengths.min(1), rtol=1e-12)
        a = 2 * (p[:, 1:] - p[:, :1])
        centre = np.linalg.solve(a, (p[:, 1:] ** 2).sum(2) - (p[:, :1] ** 2).sum(2))
        big_r = np.linalg.norm(centre - p[:, 0], axis=1)
        faces = [(1, 2, 3), (0, 2, 3), (0, 1, 3), (0, 1, 2)]
        surface = sum(0.5 * np.linalg.norm(np.cross(p[:, j] - p[:, i], p[:, k] - p[:, i]), axis=1) for i, j, k in faces)
        volume = np.abs(np.einsum("ij,ij->i", e[:, 0], np.cross(e[:, 1], e[:, 2]))) / 6
        np.testing.assert_allclose(rr, 9 * volume / surface / big_r, rtol=1e-9)
