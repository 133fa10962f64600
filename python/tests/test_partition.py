"""Partitioning through the package and the tool, against brute force: the face-dual graph from
sorted faces, the split (owned cells, ghost layer, node owners, shared nodes) from node sets,
assemble(split(m)) == m, and the tool's files read back by VTK and by our reader."""
import json
import pathlib

import numpy as np
import pytest

import quernfold as qf
from test_parity import TOOL, tool

N_PARTS = 5


@pytest.fixture(scope="module")
def cube():
    """Tetrahedra of a 5 x 4 x 3 grid of cubes (6 each) and their boundary triangles, with refs."""
    shape = np.array([5, 4, 3])
    grid = np.stack(np.meshgrid(*[np.arange(s + 1) for s in shape], indexing="ij"), -1)
    ids = np.arange(grid[..., 0].size).reshape(shape + 1)
    c = [ids[i:i + s, j:j + t, k:k + u].ravel() for i, j, k in np.ndindex(2, 2, 2)
         for s, t, u in [shape]]
    path = [(0, 1, 3, 7), (0, 3, 2, 7), (0, 2, 6, 7), (0, 6, 4, 7), (0, 4, 5, 7), (0, 5, 1, 7)]
    tets = np.concatenate([np.stack([c[a] for a in p], 1) for p in path])
    mesh = qf.Mesh(grid.reshape(-1, 3).astype(float), [("tetra", tets)])
    tris = qf.boundary(mesh).cells[0].data
    refs = [np.arange(len(tris), dtype=np.uint32) % 3, np.arange(len(tets), dtype=np.uint32) % 7]
    return qf.Mesh(mesh.points, [("triangle", tris), ("tetra", tets)], {"ref": refs})


def cells_of(mesh):
    return [row for b in mesh.cells for row in b.data]


def test_dual_graph_is_face_sharing(cube):
    tets = cube.cells[1].data
    indptr, indices = qf.dual_graph(cube.points, tets, "tetra")
    assert indptr.dtype == np.int64 and indices.dtype == np.int32
    holders = {}
    for e, t in enumerate(tets):
        for f in range(4):
            holders.setdefault(tuple(sorted(np.delete(t, f))), []).append(e)
    want = [set() for _ in tets]
    for h in holders.values():
        for a in h:
            want[a].update(set(h) - {a})
    assert [list(indices[indptr[e]:indptr[e + 1]]) for e in range(len(tets))] == [sorted(w) for w in want]


@pytest.mark.parametrize("ghosts", [0, 1])
def test_split_against_node_sets(cube, ghosts):
    parts = qf.partition(cube, N_PARTS, seed=3)
    assert np.array_equal(parts, qf.partition(cube, N_PARTS, seed=3))
    cells = cells_of(cube)
    owned_nodes = [set().union(*(map(int, cells[e]) for e in np.flatnonzero(parts == k))) for k in range(N_PARTS)]
    pieces = qf.split(cube, parts, ghosts=ghosts, n=N_PARTS)
    for k, p in enumerate(pieces):
        g = p.global_cell_ids
        assert list(g[p.ghost_cells == 0]) == list(np.flatnonzero(parts == k))
        touching = {e for e, c in enumerate(cells) if parts[e] != k and owned_nodes[k] & set(map(int, c))}
        assert set(g[p.ghost_cells == 1]) == (touching if ghosts else set())
        assert [sorted(p.global_node_ids[c]) for c in cells_of(p)] == [sorted(cells[e]) for e in g]
        owner = [min(q for q in range(N_PARTS) if n in owned_nodes[q]) for n in p.global_node_ids]
        assert list(p.node_owner) == owner
        shared = {q: sorted(owned_nodes[k] & owned_nodes[q]) for q in range(N_PARTS) if q != k}
        assert {int(q): list(s) for q, s in zip(p.neighbours, p.shared_nodes)} == {q: s for q, s in shared.items() if s}
    back = qf.assemble(pieces)
    assert np.array_equal(back.points, cube.points)
    for b, w, r, rw in zip(back.cells, cube.cells, back.cell_data["ref"], cube.cell_data["ref"]):
        assert b.type == w.type and np.array_equal(b.data, w.data) and np.array_equal(r, rw)


def test_tool_files(cube, tmp_path):
    vtk = pytest.importorskip("vtk")
    from vtk.util.numpy_support import vtk_to_numpy
    if not pathlib.Path(TOOL).exists():
        pytest.skip("the tool is not built")
    src = tmp_path / "cube.msh"
    qf.write(src, cube)
    summary = json.loads(tool("partition", "--parts", 4, "--ghosts", 1, "--json", src, tmp_path / "p.pvtu"))
    parts = qf.partition(qf.read(src), 4)
    assert summary["elements"] == [int(np.sum(parts == k)) for k in range(4)]
    indptr, indices = qf.dual_graph(cube.points, cube.cells[1].data, "tetra")
    rows = np.repeat(np.arange(len(indptr) - 1), np.diff(indptr))
    tet_parts = parts[len(cube.cells[0]):]
    assert summary["edge_cut"] == np.sum(tet_parts[rows] != tet_parts[indices]) // 2
    reader = vtk.vtkXMLPUnstructuredGridReader()
    reader.SetFileName(str(tmp_path / "p.pvtu"))
    reader.Update()
    data = reader.GetOutput().GetCellData()
    ghost = vtk_to_numpy(data.GetArray("vtkGhostType"))
    ids = vtk_to_numpy(data.GetArray("GlobalCellIds"))
    assert sorted(ids[ghost == 0]) == list(range(len(parts))) and np.any(ghost)
    tool("partition", "--parts", 4, "--split", src, tmp_path / "s.msh")
    first = (tmp_path / "s_2.msh").read_bytes()
    tool("partition", "--parts", 4, "--split", src, tmp_path / "s.msh")
    assert (tmp_path / "s_2.msh").read_bytes() == first
    for k in range(4):
        piece = qf.read(tmp_path / f"s_{k + 1}.msh")
        assert sum(map(len, piece.cells)) == summary["elements"][k]
        assert all(np.all(r == k + 1) for r in piece.cell_data["gmsh:physical"])
