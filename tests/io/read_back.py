#!/usr/bin/python3
# Reads the golden files of the writers (the folder given) with meshio, gmsh
# (its own .msh output read by meshio) and VTK's EnSight reader, and compares
# nodes and elements by kind with what each file was written from; only what
# the formats change is allowed: MEDIT holds pyramids and wedges as degenerate
# hexahedra. Exits 0 when every reading agrees, 1 otherwise, 77 without
# meshio; a missing gmsh or VTK is passed over.
import collections, os, shutil, subprocess, sys, tempfile

try:
    import meshio
except ImportError:
    sys.exit(77)

SOLIDS = {"triangle": 1, "quad": 1, "tetra": 1, "pyramid": 1, "wedge": 1, "hexahedron": 1}
FILES = [("mixed.mesh", "meshio gmsh", 8, {"triangle": 1, "quad": 1, "tetra": 1, "hexahedron": 3}),
         ("mixed.vtk", "meshio gmsh", 8, SOLIDS),
         ("mixed.msh", "meshio gmsh", 8, SOLIDS),
         ("tria6_2d.msh", "meshio gmsh", 4, {"triangle6": 1}),
         ("two.bdf", "meshio gmsh", 8, dict(SOLIDS, quad=0)),
         ("text.stl", "meshio gmsh", 4, {"triangle": 2}),
         ("binary.stl", "meshio gmsh", 3, {"triangle": 1}),
         ("full.obj", "meshio", 4, {"triangle": 1, "quad": 1}),
         ("tria.geo", "vtk", 4, {"triangle": 2})]


def by_meshio(path):
    mesh = meshio.read(path)
    return len(mesh.points), collections.Counter(b.type for b in mesh.cells for _ in b.data)


def by_gmsh(path):
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.msh")
        subprocess.run(["gmsh", path, "-0", "-save_all", "-format", "msh22", "-o", out],
                       check=True, capture_output=True)
        return by_meshio(out)


def by_vtk(path):
    import vtk
    with tempfile.TemporaryDirectory() as work:
        shutil.copy(path, os.path.join(work, "g.geo"))
        with open(os.path.join(work, "g.case"), "w") as f:
            f.write("FORMAT\ntype: ensight\nGEOMETRY\nmodel: g.geo\n")
        reader = vtk.vtkGenericEnSightReader()
        reader.SetCaseFileName(os.path.join(work, "g.case"))
        reader.Update()
    out = reader.GetOutput()
    blocks = [out.GetBlock(i) for i in range(out.GetNumberOfBlocks())]
    names = {5: "triangle", 9: "quad", 10: "tetra", 12: "hexahedron", 13: "wedge", 14: "pyramid"}
    return blocks[0].GetNumberOfPoints(), collections.Counter(
        names[b.GetCellType(k)] for b in blocks for k in range(b.GetNumberOfCells()))


failed = False
for name, readers, nodes, kinds in FILES:
    want = (nodes, collections.Counter({k: n for k, n in kinds.items() if n}))
    for reader in readers.split():
        if reader == "gmsh" and not shutil.which("gmsh"):
            continue
        try:
            got = globals()["by_" + reader](os.path.join(sys.argv[1], name))
        except ImportError:
            continue
        except (Exception, SystemExit) as error:  # a refusal is a result to report
            got = f"refused ({error})"
        failed |= got != want
        print(f"{name} by {reader}: " + ("same" if got == want else f"got {got}, want {want}"))
sys.exit(1 if failed else 0)
