"""Files written here open right elsewhere: meshes made by gmsh (tetrahedra, the mixed block of
hexahedra, wedges, pyramids and tetrahedra, 10-node tetrahedra, a 20 um box in metres) written in
every format, read back by meshio, gmsh, VTK and this package: every solid positive in the
reader's convention, coordinates exact (NASTRAN: 16-character fields, within 1e-9), our files without our comment line
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
          "groups": (BOX % (1, 1, 1, 0.5) + "Box(2) = {1, 0, 0, 1, 1, 1}; Coherence; Physical Volume(7) = {1};"
                     "Physical Volume(8) = {2}; Physical Surface(3) = {3, 9};", []),
          "block": ((ROOT / "tests" / "fixtures" / "tools" / "gmsh_block.geo").read_text(), [])}
# The corner tetrahedron whose volume has the sign of the element's, in gmsh's and meshio's convention
# (VTK's wedges: VTK_WEDGE).
CORNER = {"tetra": (0, 1, 2, 3), "tetra10": (0, 1, 2, 3), "pyramid": (0, 1, 3, 4), "hexahedron": (0, 1, 3, 4),
          "wedge": (0, 1, 2, 3)}
VTK_WEDGE, VTK_KINDS = (0, 2, 1, 3), {10: "tetra", 24: "tetra10", 14: "pyramid", 13: "wedge", 12: "hexahedron"}


def positive(mesh, vtk=False):
    """Every solid of the mesh (and there is one) positive in the reader's convention."""
    corners = [(b.data, VTK_WEDGE if vtk and b.type == "wedge" else CORNER[b.type]) for b in mesh.cells if b.type in CORNER]
    p = [np.asarray(mesh.points)[np.asarray(d)[:, c]] for d, c in corners]
    return bool(p) and all((np.linalg.det(np.stack([q[:, k] - q[:, 0] for k in (1, 2, 3)], 1)) > 0).all() for q in p)


def by_vtk(path):
    vtk = pytest.importorskip("vtkmodules.all")
    from vtkmodules.util.numpy_support import vtk_to_numpy as numpy
    reader = vtk.vtkUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    g = reader.GetOutput()
    conn, offsets, types = numpy(g.GetCells().GetConnectivityArray()), numpy(g.GetCells().GetOffsetsArray()), numpy(g.GetCellTypesArray())
    cells = {VTK_KINDS[t]: np.array([conn[offsets[i]:offsets[i + 1]] for i in np.flatnonzero(types == t)])
             for t in set(types) & set(VTK_KINDS)}
    return meshio.Mesh(numpy(g.GetPoints().GetData()), cells)


def per_kind(mesh, key):
    """cell_data[key] joined per cell type (point cells left out)."""
    return {t: np.concatenate([v for b, v in zip(mesh.cells, mesh.cell_data[key]) if b.type == t]).tolist()
            for t in {b.type for b in mesh.cells} - {"vertex"}}


def by_entity(path):
    """gmsh's entities with elements (dimension 1 to 3): physical groups, element nodes' coordinates per type."""
    gmsh = pytest.importorskip("gmsh")
    gmsh.initialize()
    gmsh.open(str(path))
    at, found = dict(zip(gmsh.model.mesh.getNodes()[0], gmsh.model.mesh.getNodes()[1].reshape(-1, 3).tolist())), {}
    for dim, tag in [(d, t) for d, t in gmsh.model.getEntities() if d]:
        kinds, elements, nodes = gmsh.model.mesh.getElements(dim, tag)
        found[dim, tag] = sorted(gmsh.model.getPhysicalGroupsForEntity(dim, tag)), {
            k: sorted(map(tuple, np.array([at[n] for n in ns]).reshape(len(e), -1))) for k, e, ns in zip(kinds, elements, nodes)}
    gmsh.finalize()
    return {k: v for k, v in found.items() if v[1]}


@pytest.fixture(scope="module", params=sorted(INPUTS))
def made(request, tmp_path_factory):
    work = tmp_path_factory.mktemp(request.param)
    (work / "in.geo").write_text(INPUTS[request.param][0])
    subprocess.run([GMSH, work / "in.geo", "-3", *INPUTS[request.param][1], "-o", work / "in.msh"], check=True,
                   capture_output=True)
    mesh = qf.read(work / "in.msh")
    solids = qf.Mesh(mesh.points, [(b.type, b.data) for b in mesh.cells if b.type in CORNER])
    assert positive(solids)
    return work, solids


@pytest.mark.parametrize("ext", [".msh", ".vtk", ".mesh", ".bdf", ".neu"])
def test_conversion_matrix(made, ext):
    work, mesh = made
    out = work / ("out" + ext)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        qf.write(out, mesh)
    assert not [w for w in caught if "cannot hold" in str(w.message)]
    readers = [qf.read(out)] + ([] if ext == ".neu" else [meshio.read(out)])
    if ext in (".mesh", ".vtk"):  # without our comment or title line, and by VTK
        lines = out.read_text().splitlines(keepends=True)
        lines = lines[:1] + ["bare\n"] + lines[2:] if ext == ".vtk" else [l for l in lines if "Quernfold" not in l]
        out.with_name("bare" + ext).write_text("".join(lines))
        readers.append(qf.read(out.with_name("bare" + ext)))
        assert [b.data.tolist() for b in readers[-1].cells] == [b.data.tolist() for b in readers[0].cells]
    for m in readers:  # meshio turns VTK wedges into its own order
        assert positive(m) and np.allclose(m.points, mesh.points, rtol=1e-9 if ext == ".bdf" else 0, atol=0)
    if ext in (".msh", ".mesh", ".bdf"):  # gmsh opens it and saves what it read (nodes renumbered)
        subprocess.run([GMSH, out, "-0", "-format", "msh22", "-o", work / "gmsh.msh"], check=True, capture_output=True)
        assert positive(meshio.read(work / "gmsh.msh"))
    assert ext != ".vtk" or positive(by_vtk(out), vtk=True)
    assert ext == ".bdf" or (readers[0].points == mesh.points).all()


def test_skin_outward_size_map_groups(made):
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
    refs = [np.arange(len(b.data), dtype=np.uint32) % 3 + 1 for b in mesh.cells]
    qf.write(work / "groups.msh", qf.Mesh(mesh.points, [(b.type, b.data) for b in mesh.cells], {"ref": refs}))
    qf.write(work / "groups.mesh", qf.Mesh(mesh.points, [(b.type, b.data) for b in mesh.cells], {"ref": refs}))
    for name, key in ("groups.msh", "gmsh:physical"), ("groups.mesh", "medit:ref"):
        assert sorted(np.concatenate(meshio.read(work / name).cell_data[key])) == sorted(np.concatenate(refs))
    if os.access(TOOL, os.X_OK):
        subprocess.run([TOOL, "sizemap", work / "in.msh", work / "h.sol"], check=True, capture_output=True)
        words = (work / "h.sol").read_text().split()
        n = len(qf.read(work / "in.msh").points)
        assert words[:8] == ["MeshVersionFormatted", "2", "Dimension", "3", "SolAtVertices", str(n), "1", "1"]
        assert words[-1] == "End" and (np.array(words[8:-1], float) > 0).all() and len(words) == n + 9
        subprocess.run([TOOL, "sizemap", work / "in.msh", work / "h.vtk"], check=True, capture_output=True)
        assert (meshio.read(work / "h.vtk").point_data["size"] == np.array(words[8:-1], float)).all()


def test_float32_loss_is_reported(tmp_path):
    tri = qf.Mesh(np.array([[0, 0, 0], [1, 0, 0], [1 + 1e-12, 0, 0], [0, 1, 0]], float), [("triangle", [[0, 1, 3], [2, 3, 0]])])
    with pytest.warns(UserWarning, match="1 nodes become coincident"):
        qf.write(tmp_path / "t.stl", tri)


@pytest.mark.parametrize("version", ["41", "22"])
def test_entities_and_groups_survive(made, version):
    """Entity and physical tags read as meshio reads them, and kept by the package's and the tool's .msh."""
    src, out, ours = (made[0] / f"{name}{version}.msh" for name in ("in", "out", "package"))
    subprocess.run([GMSH, made[0] / "in.msh", "-0", "-format", "msh" + version, "-o", src], check=True, capture_output=True)
    qf.write(ours, mesh := qf.read(src))
    for theirs in meshio.read(src), meshio.read(ours):  # a 2.2 file without groups: meshio gives physical 0, we none
        keys = set(theirs.cell_data) & set(mesh.cell_data)
        assert "gmsh:geometrical" in keys and all(per_kind(mesh, k) == per_kind(theirs, k) for k in keys)
    subprocess.run([TOOL, "convert", src, out], check=True, capture_output=True)
    assert by_entity(src) == by_entity(out)
