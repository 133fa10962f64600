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


FIXTURES = __import__("pathlib").Path(__file__).resolve().parents[2] / "tests" / "fixtures" / "tools"


@pytest.mark.parametrize("name", ["gmsh_groups.msh", "gmsh_groups41.msh"])
def test_physical_groups_read_as_meshio_reads_them(name, tmp_path):
    path, theirs = FIXTURES / name, meshio.read(FIXTURES / name)
    ours = qf.read(path)
    assert {k: v.tolist() for k, v in ours.field_data.items()} == \
        {k: v.tolist() for k, v in theirs.field_data.items()}
    tags = lambda m, key: sorted((c.type, int(t)) for c, d in zip(m.cells, m.cell_data[key]) for t in d)
    assert tags(ours, "gmsh:physical") == tags(theirs, "gmsh:physical")
    assert {t: len(d) for t, d in ours.cells_dict.items()} == {t: len(d) for t, d in theirs.cells_dict.items()}
    # A deck written without references reads with meshio's counts.
    meshio.write(tmp_path / "deck.nas", theirs)
    assert {t: len(d) for t, d in qf.read(tmp_path / "deck.nas").cells_dict.items()} == \
        {t: len(d) for t, d in meshio.read(tmp_path / "deck.nas").cells_dict.items()}


def test_unreadable_inputs_bad_points_and_forms_are_refused(tmp_path):
    (tmp_path / "notamesh.obj").write_text("milk\neggs\n")
    with pytest.raises(qf.Error, match="no mesh found in .*notamesh.obj \\(read as Wavefront OBJ\\)"):
        qf.read(tmp_path / "notamesh.obj")
    (tmp_path / "short.nas").write_text("GRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,0.,1.,0.\nCTRIA3,1,1,1,2\n")
    with pytest.warns(UserWarning, match="left out 1 CTRIA3 records"):
        qf.read(tmp_path / "short.nas")
    nan = np.array([[None] * 3] + SOLID[1:].tolist(), dtype=object)
    for call in (lambda: qf.Mesh(nan, [("tetra", TETS)]), lambda: qf.shape_qualities(nan, TETS, "tetra"),
                 lambda: qf.jacobians(nan, TETS, "tetra")):
        with pytest.raises(qf.Error, match="finite"):
            call()
    mesh = qf.Mesh(SOLID, [("tetra", TETS)])
    with pytest.raises(qf.Error, match="one form only"):
        qf.write(tmp_path / "m.mesh", mesh, binary=True)
    # file_format overrides the extension both ways; Mesh.write is write.
    mesh.write(tmp_path / "m.txt", file_format="gmsh")
    back = qf.read(tmp_path / "m.txt", file_format="msh")
    assert back.format == "gmsh MSH" and back.cells_dict["tetra"].tolist() == TETS.tolist()


@pytest.mark.parametrize("fmt,ext,binary", [("gmsh22", ".msh", False), ("gmsh", ".msh", False),
                                            ("vtk", ".vtk", False), ("medit", ".mesh", None)])
def test_text_read_on_threads_is_the_one_thread_read(tmp_path, fmt, ext, binary):
    # Lists long enough to be split, written by meshio, read as meshio reads them at every count.
    rng = np.random.default_rng(5)
    path = tmp_path / f"big{ext}"
    options = {} if binary is None else {"binary": binary}
    meshio.write(path, meshio.Mesh(rng.random((3000, 3)), [("tetra", rng.integers(0, 3000, (4000, 4)))]),
                 file_format=fmt, **options)
    ref = meshio.read(path)
    for threads in (1, 3):
        back = qf.read(path, threads=threads)
        np.testing.assert_array_equal(back.points, ref.points)
        assert [b.data.tolist() for b in back.cells] == [b.data.tolist() for b in ref.cells]
