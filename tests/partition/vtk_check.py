#!/usr/bin/python3
# VTK's own reading of our VTK XML files, and VTK's writing of files for our
# reader. Arguments: a folder holding mesh_ascii.vtu, mesh_raw.vtu,
# mesh_zlib.vtu (written from one mesh of `cells` cells and `points` points)
# and parts.pvtu (its pieces, `ghosts` ghost cells in all), then cells points
# ghosts. Checks: every .vtu reads with its counts, tetrahedra and wedges
# have VTK's positive orientation; the .pvtu reads as the whole mesh plus the
# ghosts, flagged, with global ids covering every cell and point. Then writes
# theirs_<mode>.vtu in each of VTK's own encodings from mesh_raw.vtu; when
# meshio is there, it reads our three files too and writes
# theirs_meshio_ascii.vtu and theirs_meshio_zlib.vtu. Exits 0 when every
# check holds, 1 otherwise, 77 without VTK.
import os, sys

try:
    import vtk
    from vtk.util.numpy_support import vtk_to_numpy
except ImportError:
    sys.exit(77)

folder = sys.argv[1]
cells, points, ghosts = (int(a) for a in sys.argv[2:5])
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def read(name, parallel=False):
    reader = vtk.vtkXMLPUnstructuredGridReader() if parallel else vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(os.path.join(folder, name))
    reader.Update()
    return reader.GetOutput()


def signed_volumes(grid, cell_type):
    """(p1 - p0) x (p2 - p0) . (p3 - p0) of every cell of the type."""
    pts = vtk_to_numpy(grid.GetPoints().GetData())
    out = []
    for c in range(grid.GetNumberOfCells()):
        if grid.GetCellType(c) != cell_type:
            continue
        ids = [grid.GetCell(c).GetPointId(k) for k in range(4)]
        a, b, d = (pts[ids[k]] - pts[ids[0]] for k in (1, 2, 3))
        out.append(float((a[1] * b[2] - a[2] * b[1]) * d[0] + (a[2] * b[0] - a[0] * b[2]) * d[1]
                         + (a[0] * b[1] - a[1] * b[0]) * d[2]))
    return out


for mode in ("ascii", "raw", "zlib"):
    grid = read(f"mesh_{mode}.vtu")
    check(grid.GetNumberOfCells() == cells, f"{mode}: {grid.GetNumberOfCells()} cells")
    check(grid.GetNumberOfPoints() == points, f"{mode}: {grid.GetNumberOfPoints()} points")
    # VTK's tetrahedron: the normal of (0, 1, 2) points to node 3.
    tets = signed_volumes(grid, vtk.VTK_TETRA)
    check(tets and min(tets) > 0, f"{mode}: tetrahedra not positive")
    # VTK's wedge: the normal of (0, 1, 2) points away from (3, 4, 5).
    wedges = signed_volumes(grid, vtk.VTK_WEDGE)
    check(wedges and max(wedges) < 0, f"{mode}: wedges not in VTK's orientation")
    sizes = grid.GetPointData().GetArray("size")
    check(sizes is not None and sizes.GetNumberOfComponents() == 2, f"{mode}: point data")

grid = read("parts.pvtu", parallel=True)
check(grid.GetNumberOfCells() == cells + ghosts, f"pvtu: {grid.GetNumberOfCells()} cells")
ghost = grid.GetCellData().GetArray("vtkGhostType")
cell_ids = grid.GetCellData().GetArray("GlobalCellIds")
node_ids = grid.GetPointData().GetArray("GlobalNodeIds")
check(ghost is not None and cell_ids is not None and node_ids is not None, "pvtu: arrays")
if not failures:
    flags, ids = vtk_to_numpy(ghost), vtk_to_numpy(cell_ids)
    check(int((flags != 0).sum()) == ghosts, f"pvtu: {(flags != 0).sum()} ghost cells")
    check(sorted(ids[flags == 0]) == list(range(cells)), "pvtu: owned cell ids")
    check(set(vtk_to_numpy(node_ids)) == set(range(points)), "pvtu: node ids")
    # VTK's ghost removal leaves the whole mesh once.
    clean = vtk.vtkRemoveGhosts()
    clean.SetInputData(grid)
    clean.Update()
    check(clean.GetOutput().GetNumberOfCells() == cells, "pvtu: cells without ghosts")

source = read("mesh_raw.vtu")
for mode, setup in {"ascii": lambda w: w.SetDataModeToAscii(),
                    "binary": lambda w: w.SetDataModeToBinary(),
                    "base64": lambda w: w.SetDataModeToAppended(),
                    "appended": lambda w: (w.SetDataModeToAppended(), w.EncodeAppendedDataOff()),
                    "plain": lambda w: (w.SetDataModeToAppended(), w.EncodeAppendedDataOff(),
                                        w.SetCompressorTypeToNone(), w.SetHeaderTypeToUInt32()),
                    "binary_plain": lambda w: (w.SetDataModeToBinary(),
                                               w.SetCompressorTypeToNone())}.items():
    writer = vtk.vtkXMLUnstructuredGridWriter()
    writer.SetInputData(source)
    setup(writer)
    writer.SetFileName(os.path.join(folder, f"theirs_{mode}.vtu"))
    check(writer.Write() == 1, f"VTK could not write {mode}")

try:
    import meshio
    for mode in ("ascii", "raw", "zlib"):
        mesh = meshio.read(os.path.join(folder, f"mesh_{mode}.vtu"))
        check(sum(len(c.data) for c in mesh.cells) == cells, f"meshio reads {mode} otherwise")
    meshio.write(os.path.join(folder, "theirs_meshio_ascii.vtu"), mesh, binary=False)
    meshio.write(os.path.join(folder, "theirs_meshio_zlib.vtu"), mesh, compression="zlib")
except ImportError:
    pass

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
