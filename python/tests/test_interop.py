"""Files written here open right elsewhere: meshes made by gmsh (tetrahedra, the mixed block of
hexahedra, wedges, pyramids and tetrahedra, 10-node tetrahedra, a 20 um box in metres) written in
every format, read back by meshio, gmsh, VTK and this package: every solid positive in the
reader's convention, coordinates exact (NASTRAN: 10 digits), our files without our comment line
read the same, boundary skins enclose a positive volume, size maps cover every node."""
import os
import pathlib
import shutil
import subprocess
import warnings

import numpy as np
import pytest

import quernfold as qf

meshio = pytest.importorskip("meshio")
GMSH = shutil.which("gmsh")
pytestmark = pytest.mark.skipif(not GMSH, reason="no gmsh")
ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = os.environ.get("QUERNFOLD_CLI") or str(pathlib.Path(qf.__file__).resolve().parents[2] / "tools" / "quernfold")
BOX = 'SetFactory("OpenCASCADE"); Box(1) = {0, 0, 0, %g, %g, %g}; Mesh.MeshSizeMax = %g;'
INPUTS = {"tetra": (BOX % (2, 1, 1, 0.4), []), "tetra10": (BOX % (2, 1, 1, 0.5), ["-order", "2"]),
          "micro": (BOX % (2e-5, 1e-5, 1e-5, 2e-6), []),
          "block": ((ROOT / "tests" / "fixtures" / "tools" / "gmsh_block.geo").read_text(), [])}
# The corner tetrahedron whose volume has the sign of the element's, per reader convention.
CORNER = {"tetra": (0, 1, 2, 3), "tetra10": (0, 1, 2, 3), "pyramid": (0, 1, 3, 4), "hexahedron": (0, 1, 3, 4),
          "wedge": (0, 1, 2, 3)}
VTK_WEDGE = (0, 2, 1, 3)


def signs(points, blocks, vtk=False):
    """Sign of each solid's corner volume, by kind: {kind: array of signs}."""
    out = {}
    for kind, cells in blocks:
        corner = VTK_WEDGE if vtk and kind == "wedge" else CORNER.get(kind)
        if corner:
            p = points[np.asarray(cells)[:, corner]]
            out[kind] = np.sign(np.linalg.det(np.stack([p[:, k] - p[:, 0] for k in (1, 2, 3)], 1)))
    return out


def all_positive(points, blocks, vtk=False):
    s = signs(np.asarray(points), blocks, vtk)
    return bool(s) and all((v > 0).all() for v in s.values())


@pytest.fixture(scope="module", params=sorted(INPUTS))
def made(request, tmp_path_factory):
    work = tmp_path_factory.mktemp(request.param)
    geo, extra = INPUTS[request.param]
    (work / "in.geo").write_text(geo)
    subprocess.run([GMSH, str(work / "in.geo"), "-3", *extra, "-o", str(work / "in.msh")], check=True,
                   capture_output=True)
    mesh = qf.read(work / "in.msh")
    solids = qf.Mesh(mesh.points, [(b.type, b.data) for b in mesh.cells if b.type in CORNER])
    assert all_positive(solids.points, [(b.type, b.data) for b in solids.cells])
    return work, solids


@pytest.mark.parametrize("ext", [".msh", ".vtk", ".mesh", ".bdf", ".neu"])
def test_conversion_matrix(made, ext):
    work, mesh = made
    out = work / ("out" + ext)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        qf.write(out, mesh)
    assert not [w for w in caught if "cannot hold" in str(w.message)]
    back = qf.read(out)
    exact = ext != ".bdf"
    assert np.allclose(back.points, mesh.points, rtol=1e-9, atol=0) and (not exact or (back.points == mesh.points).all())
    assert all_positive(back.points, [(b.type, b.data) for b in back.cells])
    assert len(np.unique(back.points, axis=0)) == len(mesh.points)
    if ext in (".mesh", ".vtk"):  # without our comment or title line: the same mesh
        lines = out.read_text().splitlines(keepends=True)
        lines = ["bare\n" if k == 1 else l for k, l in enumerate(lines)] if ext == ".vtk" else \
            [l for l in lines if "Quernfold" not in l]
        out.with_name("bare" + ext).write_text("".join(lines))
        bare = qf.read(out.with_name("bare" + ext))
        assert [b.data.tolist() for b in bare.cells] == [b.data.tolist() for b in back.cells]
    if ext == ".neu":
        return
    theirs = meshio.read(out)
    assert (np.allclose if not exact else np.array_equal)(theirs.points, mesh.points)
    assert all_positive(theirs.points, [(b.type, b.data) for b in theirs.cells])  # meshio turns VTK wedges
    if ext == ".vtk":
        assert vtk_positive(out)
    else:  # gmsh opens it and saves what it read
        subprocess.run([GMSH, str(out), "-0", "-format", "msh22", "-o", str(work / "gmsh.msh")], check=True,
                       capture_output=True)
        g = meshio.read(work / "gmsh.msh")
        assert all_positive(g.points, [(b.type, b.data) for b in g.cells])


def vtk_positive(path):
    vtk = pytest.importorskip("vtkmodules.all")
    from vtkmodules.util.numpy_support import vtk_to_numpy
    reader = vtk.vtkUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    grid = reader.GetOutput()
    points = vtk_to_numpy(grid.GetPoints().GetData())
    kinds = {10: "tetra", 24: "tetra10", 14: "pyramid", 13: "wedge", 12: "hexahedron"}
    blocks = {}
    for c in range(grid.GetNumberOfCells()):
        cell = grid.GetCell(c)
        if cell.GetCellType() in kinds:
            ids = cell.GetPointIds()
            blocks.setdefault(kinds[cell.GetCellType()], []).append([ids.GetId(k) for k in range(ids.GetNumberOfIds())])
    return all_positive(points, list(blocks.items()), vtk=True)


def test_skin_outward_and_size_map(made):
    work, mesh = made
    skin = qf.boundary(mesh)
    points, faces = skin.points, [b.data[:, k] for b in skin.cells for k in ([0, 1, 2], [0, 2, 3])[: b.data.shape[1] - 2]]
    if len(skin.cells) == 1:  # triangles only: as an STL reader sees them
        qf.write(work / "skin.stl", skin)
        m = meshio.read(work / "skin.stl")
        points, faces = m.points.astype(float), [m.cells[0].data]
    p = np.concatenate([points[f] for f in faces])
    volume = np.einsum("ij,ij->i", p[:, 0], np.cross(p[:, 1], p[:, 2])).sum() / 6
    assert np.isclose(volume, np.prod(np.ptp(mesh.points, axis=0)), rtol=1e-5)  # enclosed, outward
    if not os.access(TOOL, os.X_OK):
        return
    subprocess.run([TOOL, "sizemap", work / "in.msh", work / "h.sol"], check=True, capture_output=True)
    words = (work / "h.sol").read_text().split()
    n = int(words[words.index("SolAtVertices") + 1])
    assert words[:4] == ["MeshVersionFormatted", "2", "Dimension", "3"] and words[-1] == "End"
    assert n == len(qf.read(work / "in.msh").points) and (np.array(words[-1 - n:-1], float) > 0).all()


def test_references_become_physical_groups(made):
    work, mesh = made
    refs = [np.arange(len(b.data), dtype=np.uint32) % 3 + 1 for b in mesh.cells]
    qf.write(work / "groups.msh", qf.Mesh(mesh.points, [(b.type, b.data) for b in mesh.cells], {"ref": refs}))
    theirs = meshio.read(work / "groups.msh")
    assert sorted(np.concatenate(theirs.cell_data["gmsh:physical"])) == sorted(np.concatenate(refs))
    assert all_positive(theirs.points, [(b.type, b.data) for b in theirs.cells])
