#!/usr/bin/python3
# Reads the files that interop_test.cpp wrote into the folder given, with
# meshio, gmsh (its own .msh output read by meshio) and VTK's EnSight reader,
# and compares nodes and elements by kind with the manifest there, one line
# per file: <file> <readers, comma-separated> <nodes> <kind>:<count> ...
# Exits 0 when every reading agrees, 1 otherwise, 77 without meshio; a
# missing gmsh or VTK is reported and passed over.
import collections, os, shutil, subprocess, sys, tempfile

try:
    import meshio
except ImportError:
    print("meshio is not installed for /usr/bin/python3")
    sys.exit(77)


def counts(points, kinds):
    return points, dict(collections.Counter(kinds))


def by_meshio(path):
    mesh = meshio.read(path)
    return counts(len(mesh.points), [b.type for b in mesh.cells for _ in b.data])


def by_gmsh(path):
    if not shutil.which("gmsh"):
        return None
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.msh")
        subprocess.run(["gmsh", path, "-0", "-save_all", "-format", "msh22", "-o", out],
                       check=True, capture_output=True)
        return by_meshio(out)


def by_vtk(path):
    try:
        import vtk
    except ImportError:
        return None
    with open(path + ".case", "w") as f:
        f.write(f"FORMAT\ntype: ensight\nGEOMETRY\nmodel: {os.path.basename(path)}\n")
    reader = vtk.vtkGenericEnSightReader()
    reader.SetCaseFileName(path + ".case")
    reader.Update()
    blocks = [reader.GetOutput().GetBlock(i) for i in range(reader.GetOutput().GetNumberOfBlocks())]
    names = {5: "triangle", 9: "quad", 10: "tetra", 12: "hexahedron", 13: "wedge", 14: "pyramid"}
    return counts(blocks[0].GetNumberOfPoints() if blocks else 0,
                  [names[b.GetCellType(k)] for b in blocks for k in range(b.GetNumberOfCells())])


failed = False
for line in open(os.path.join(sys.argv[1], "manifest")):
    name, readers, nodes, *kinds = line.split()
    want = counts(int(nodes), [k for kind in kinds for k in [kind.split(":")[0]] * int(kind.split(":")[1])])
    for reader in readers.split(","):
        try:
            got = globals()["by_" + reader](os.path.join(sys.argv[1], name))
        except Exception as error:  # a refusal is a result to report
            got = f"refused ({error})"
        failed |= got is not None and got != want
        print(f"{name} by {reader}: " + ("not installed" if got is None else
                                         "same" if got == want else f"got {got}, want {want}"))
sys.exit(1 if failed else 0)
