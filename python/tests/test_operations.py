import numpy as np
import pytest

import quernfold as qf

# Faces of each kind in meshio's local node numbers, as the neighbors docstring lists them.
FACES = {"tetra": [(1, 3, 2), (3, 0, 2), (0, 1, 2), (3, 1, 0)],
         "hexahedron": [(0, 3, 7, 4), (1, 5, 6, 2), (0, 4, 5, 1), (3, 2, 6, 7), (0, 1, 2, 3), (4, 7, 6, 5)]}


def cube_grid(n):
    """Points of an (n+1)^3 grid of the unit cube; its hexahedra and a split into six tetrahedra
    per cube, all positive in meshio's convention."""
    k = np.arange(n + 1) / n
    points = np.stack(np.meshgrid(k, k, k, indexing="ij"), -1).reshape(-1, 3)
    i, j, l = (a.ravel() for a in np.meshgrid(*(np.arange(n),) * 3, indexing="ij"))
    at = lambda a, b, c: ((i + a) * (n + 1) + j + b) * (n + 1) + l + c
    hexa = np.stack([at(0, 0, 0), at(1, 0, 0), at(1, 1, 0), at(0, 1, 0),
                     at(0, 0, 1), at(1, 0, 1), at(1, 1, 1), at(0, 1, 1)], 1)
    tets = np.concatenate([hexa[:, [0, a, b, 6]] for a, b in [(1, 2), (2, 3), (3, 7), (7, 4), (4, 5), (5, 1)]])
    flip = volumes(points, tets) < 0
    tets[flip] = tets[flip][:, [0, 2, 1, 3]]
    return points, hexa, tets


def volumes(points, tets):
    p = points[tets]
    return np.einsum("ij,ij->i", np.cross(p[:, 1] - p[:, 0], p[:, 2] - p[:, 0]), p[:, 3] - p[:, 0]) / 6


def brute_neighbors(cells, faces):
    """Element across each face: the other element holding the same node set."""
    keys = [[frozenset(row[list(f)]) for f in faces] for row in cells]
    owners = {}
    for e, ks in enumerate(keys):
        for k in ks:
            owners.setdefault(k, []).append(e)
    return np.array([[next((o for o in owners[k] if o != e), qf.NO_INDEX) if len(owners[k]) == 2 else qf.NO_INDEX
                      for k in ks] for e, ks in enumerate(keys)], np.uint32)


def test_meshio_valid_solids_are_positive_and_jacobians_are_six_volumes():
    rng = np.random.default_rng(7)
    points, hexa, tets = cube_grid(3)
    points = points + rng.uniform(-0.05, 0.05, points.shape)
    jac = qf.jacobians(points, tets, "tetra")
    np.testing.assert_allclose(jac, 6 * volumes(points, tets), rtol=1e-12)
    assert qf.shape_qualities(points, tets, "tetra").min() > 0
    assert qf.shape_qualities(points, hexa, "hexahedron").min() > 0
    wedge = np.array([[0, 1, 2, 3, 4, 5]])  # meshio: top triangle above the bottom one, same turn
    prism = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 0, 1], [0, 1, 1.]])
    assert qf.jacobians(prism, wedge, "wedge")[0] > 0 and qf.shape_qualities(prism, wedge, "wedge")[0] > 0


@pytest.mark.parametrize("convert", [
    lambda a: a.astype(np.uint32), lambda a: a.astype(np.int32), lambda a: a.astype(np.int64),
    lambda a: np.asfortranarray(a), lambda a: np.repeat(a, 2, axis=0)[::2], lambda a: a.tolist()])
def test_any_integer_layout_gives_the_same_results(convert):
    hexa = cube_grid(2)[1]
    np.testing.assert_array_equal(qf.neighbors(convert(hexa), "hexahedron"), qf.neighbors(hexa, "hexahedron"))


def test_neighbors_and_node_graph_match_brute_force():
    points, hexa, tets = cube_grid(2)
    for cells, kind in [(tets, "tetra"), (hexa, "hexahedron")]:
        np.testing.assert_array_equal(qf.neighbors(cells, kind), brute_neighbors(cells, FACES[kind]))
    indptr, indices = qf.node_graph(tets, "tetra")
    graph = {(v, int(w)) for v in range(len(indptr) - 1) for w in indices[indptr[v]:indptr[v + 1]]}
    assert graph == {(a, b) for row in tets.tolist() for a in row for b in row if a != b}


def test_subdomains_label_disjoint_parts():
    points, hexa, _ = cube_grid(2)
    cells = np.concatenate([hexa, hexa + len(points)])
    elements, offsets = qf.subdomains(cells, "hexahedron")
    assert offsets.tolist() == [0, 8, 16] and sorted(elements[:8]) == list(range(8))


def test_boundary_of_solids():
    points, hexa, tets = cube_grid(3)
    skin = qf.boundary(qf.Mesh(points, [("tetra", tets)]))
    (kind, tri), = skin.cells
    p = points[tri]
    outward = np.einsum("ij,ij->i", np.cross(p[:, 1] - p[:, 0], p[:, 2] - p[:, 0]), p.mean(1) - 0.5)
    assert kind == "triangle" and len(tri) == 6 * 9 * 2 and (outward > 0).all()  # normals point outside
    assert [(b.type, len(b)) for b in qf.boundary(qf.Mesh(points, {"hexahedron": hexa})).cells] == [("quad", 54)]


def test_clean_merges_a_triangle_soup_and_keeps_cell_data_aligned():
    points, hexa, _ = cube_grid(2)
    quads = hexa[:, :4]
    soup = np.concatenate([points[quads[:, [0, 1, 2]]], points[quads[:, [0, 2, 3]]], points[[[0, 0, 1]]]])
    tri = np.arange(3 * len(soup)).reshape(-1, 3)
    mesh = qf.Mesh(soup.reshape(-1, 3), [("triangle", tri)], {"ref": [np.arange(len(tri))]})
    clean, node_map = qf.clean(mesh)
    np.testing.assert_array_equal(clean.points[node_map], mesh.points)
    assert len(clean.points) == len(np.unique(mesh.points, axis=0)) == 18
    assert len(clean.cells[0]) == len(tri) - 1 and clean.cell_data["ref"][0].tolist() == list(range(len(tri) - 1))
    np.testing.assert_array_equal(clean.points[clean.cells[0].data], mesh.points[tri[:-1]])


def test_size_map_gradation_and_edge_qualities():
    points, hexa, _ = cube_grid(2)
    np.testing.assert_array_equal(qf.size_map(points, hexa, "hexahedron"), 0.5)
    sizes = np.array([1.0, 10.0])
    graded, changed = qf.bound_gradation([[0, 0], [1, 0]], [[0, 1]], "line", sizes, 2.0, direction=-1)
    assert changed == 1 and graded.tolist() == pytest.approx([1.0, 1 + np.log(2)]) and sizes[1] == 10
    hist = qf.Histogram(0.0, 2.0, 4)
    tri = [[0, 1, 2], [2, 1, 3]]
    square = [[0, 0], [1, 0], [0, 1], [1, 1]]
    assert qf.edge_qualities(square, tri, "triangle", np.ones(4), hist, excluded_edges=[[2, 1]]) == 4
    assert hist.count == 4 and hist.counts.tolist() == [0, 0, 4, 0] and hist.max == 1
    with pytest.raises(TypeError, match="gradation=1.5"):
        qf.bound_gradation([[0, 0], [1, 0]], [[0, 1]], "line", sizes, bound=0.5)


def test_node_detector_matches_brute_force():
    rng = np.random.default_rng(3)
    points, queries = rng.random((2000, 3)), rng.random((500, 3))
    det = qf.NodeDetector(points)
    assert len(det) == 2000 and np.shares_memory(det.points, points)
    d2 = ((queries[:, None, :] - points[None]) ** 2).sum(-1)
    np.testing.assert_array_equal(det.closest(queries), d2.argmin(1))
    self_d2 = ((points[:, None, :] - points[None]) ** 2).sum(-1) + np.diag(np.full(2000, np.inf))
    np.testing.assert_array_equal(det.closest_other(np.arange(2000)), self_d2.argmin(1))
    indptr, found = det.in_box(queries[:2] - 0.1, queries[:2] + 0.1)
    inside = [np.flatnonzero(((points >= q - 0.1) & (points <= q + 0.1)).all(1)).tolist() for q in queries[:2]]
    assert [sorted(found[indptr[k]:indptr[k + 1]]) for k in range(2)] == inside
    assert det.closest(points[5]) == 5 and det.closest([np.nan] * 3) == qf.NO_INDEX


SQUARE = [[0, 0], [1, 0], [0, 1], [1, 1]]
TRI = [[0, 1, 2]]
ERRORS = [
    (lambda: qf.shape_qualities(SQUARE, [[0, 1, 4]], "triangle"), "element 0 references node 4 of 4"),
    (lambda: qf.shape_qualities(SQUARE, TRI, "tri"), "unknown cell type 'tri'"),
    (lambda: qf.neighbors([[0], [1]], "vertex"), "have no faces"),
    (lambda: qf.size_map(SQUARE, TRI, "triangle", p=-1), "p must be >= 0, got -1.0"),
    (lambda: qf.NodeDetector([[0, 0], [np.nan, 1]]), "points[1] holds NaN"),
    (lambda: qf.Mesh(SQUARE, [("triangle", [[0, 1, 9]])]), "element 0 of the 'triangle' cells references node 9 of 4"),
    (lambda: qf.boundary(qf.Mesh(SQUARE, [("vertex", [[0]])])), "no cells of dimension 1 to 3"),
]


def test_a_node_numbering_memory_cannot_hold_raises_memory_error():
    with pytest.raises(MemoryError):
        qf.node_graph([[0, 4294967294]], "line")


@pytest.mark.parametrize("call,words", ERRORS)
def test_bad_arguments_raise_error_with_the_cause(call, words):
    with pytest.raises(qf.Error, match=words.replace("(", r"\(").replace(")", r"\)").replace("[", r"\[")):
        call()
    assert issubclass(qf.Error, ValueError)
