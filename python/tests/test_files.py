import numpy as np
import pytest

import quernfold as qf

READABLE = {e for _, exts, r, w in qf.formats() if r and w for e in exts}
meshio = pytest.importorskip("meshio")

# A 3 x 3 grid of the plane z = 0 (coordinates exact in every format), its 8 triangles with the
# nodes renumbered in order of first appearance (as STL files give them), and two tetrahedra
# positive in meshio's order.
TRI = np.array([[0, 1, 4], [0, 4, 3], [1, 2, 5], [1, 5, 4], [3, 4, 7], [3, 7, 6], [4, 5, 8], [4, 8, 7]])
FIRST = list(dict.fromkeys(TRI.ravel()))
GRID = np.array([[x, y, 0.0] for y in (0, 0.5, 1) for x in (0, 0.5, 1)])[FIRST]
TRI = np.argsort(FIRST)[TRI]
SOLID = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 1, 1.0]])
TETS = np.array([[0, 1, 2, 3], [1, 2, 3, 4]])


@pytest.mark.parametrize("ext", sorted(READABLE))
def test_written_meshes_read_back_the_same(tmp_path, ext):
    meshes = [qf.Mesh(GRID, [("triangle", TRI)])]
    if ext not in (".stl", ".obj"):
        meshes.append(qf.Mesh(SOLID, [("tetra", TETS)], {"ref": [np.array([7, 9], np.uint32)]}))
    for k, mesh in enumerate(meshes):
        path = tmp_path / f"m{k}{ext}"
        qf.write(path, mesh)
        back = qf.read(path)
        np.testing.assert_array_equal(back.points[:, :mesh.points.shape[1]], mesh.points)
        assert [(b.type, b.data.tolist()) for b in back.cells] == [(b.type, b.data.tolist()) for b in mesh.cells]


def test_meshio_conversions_are_inverse():
    again = qf.from_meshio(qf.Mesh(SOLID, [("tetra", TETS)]).to_meshio())
    np.testing.assert_array_equal(again.points, SOLID)
    np.testing.assert_array_equal(again.cells[0].data, TETS)


def test_file_errors_name_the_cause(tmp_path):
    with pytest.raises(FileNotFoundError):
        qf.read(tmp_path / "missing.stl")
    (tmp_path / "folder.stl").mkdir()
    (tmp_path / "mesh.xyz").write_text("")
    (tmp_path / "bad.obj").write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n")
    for name, words in [("folder.stl", "not a regular file"), ("mesh.xyz", "\\.xyz"),
                        ("bad.obj", "element 0 of the 'triangle' cells references node 8 of 3")]:
        with pytest.raises(qf.Error, match=words):
            qf.read(tmp_path / name)
    for name, words in [("out.xyz", "xyz"), ("no/such/dir.stl", "")]:
        with pytest.raises(qf.Error, match=words):
            qf.write(tmp_path / name, qf.Mesh(GRID, [("triangle", TRI)]))
    with pytest.raises(qf.Error, match="STL holds none of the 2 elements; nothing written"):
        qf.write(tmp_path / "tets.stl", qf.Mesh(SOLID, [("tetra", TETS)]))
    assert not (tmp_path / "tets.stl").exists()
