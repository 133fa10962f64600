#!/usr/bin/env python3
"""quernfold-mpi against the one-process tool at 1, 2 and 4 ranks.

Meshes: a gmsh tetrahedral cube (MSH 4.1 text and binary, with gmsh's
points, lines and triangles), two cubes meshed apart (coincident nodes on
the interface, two connected parts), and the mixed block of the tool tests.
`info --json` must give the tool's answer (means to 1e-12 relative);
`partition` must repeat its parts, keep the balance, and report the cut
that the written dual graph and parts give. Its partitioned outputs must
hold what the one-process split of the same parts holds (global ids, ghosts,
owners; pieces read back through VTK and the package, the gmsh file through
gmsh, meshio and the package), and `info --json` on them, read by parts,
must give the one-process answer.
On twin and block, `boundary` and `sizemap` (mean rule on twin, shortest-
length rule on block) must write the tool's bytes (the one-process order
of the faces is rank-independent: elements in file order), `clean` the
tool's mesh as .vtu bytes (nodes in file order, no references) and counts;
`sizemap --gradation` must lower no size, leave no edge that the package's
own bound would still correct, equal the tool at one rank, and stay near
it (the largest and mean relative differences are printed).
Usage: parity.py BUILD_DIR SOURCE_DIR (exit 77 when gmsh is missing).
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

RANKS = (1, 2, 4)
MEAN_TOLERANCE = 1e-12
IMBALANCE = 1.05
# boundary, clean and sizemap run on these (tetrahedra with coincident nodes
# on an interface, and mixed kinds).
COMPARED_MESHES = ("twin.msh", "block.msh")
# The size rule per mesh: the mean length (default), the shortest (p = 0).
SIZE_RULES = {"twin.msh": [], "block.msh": ["--p", "0"]}
CLEAN_TOLERANCE = "0.1"
GRADATION = 1.1
# Sizes graded rank by rank stay this close to the one-process ones (mean
# relative difference).
GRADED_MEAN_DIFFERENCE = 0.05
GEOMETRIES = {
    "cube": "Box(1) = {0, 0, 0, 1, 1, 1};\nMesh.MeshSizeMax = 0.15;\n",
    "twin": "Box(1) = {0, 0, 0, 1, 1, 1};\nBox(2) = {1, 0, 0, 1, 1, 1};\nMesh.MeshSizeMax = 0.25;\n",
}


def run(args, **kw):
    env = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1")
    return subprocess.run(args, check=True, capture_output=True, text=True, env=env, **kw).stdout


def mpirun(ranks, tool, *args):
    return run(["mpirun", "--oversubscribe", "-n", str(ranks), tool, *args])


def make_meshes(tmp, build, source):
    paths = []
    for name, body in GEOMETRIES.items():
        geo = os.path.join(tmp, name + ".geo")
        with open(geo, "w") as f:
            f.write('SetFactory("OpenCASCADE");\n' + body)
        for binary in ([], ["-bin"]):
            out = os.path.join(tmp, name + ("_bin" if binary else "") + ".msh")
            run(["gmsh", "-3", geo, "-format", "msh41", *binary, "-o", out])
            paths.append(out)
    block = os.path.join(tmp, "block.msh")
    run([os.path.join(build, "tools", "quernfold"), "convert",
         os.path.join(source, "tests", "fixtures", "tools", "gmsh_block.bdf"), block])
    return paths + [block]


def same_info(expected, got, where):
    ranges = [(expected[k], got[k]) for k in ("quality", "edge_length")]
    ranges += [(v, got["cell_quality"][k]) for k, v in expected["cell_quality"].items()]
    for e, g in ranges:
        a, b = e.pop("mean"), g.pop("mean")
        assert abs(a - b) <= MEAN_TOLERANCE * abs(a), (where, a, b)
    assert expected == got, (where, expected, got)


def cut_of(graph, parts):
    with open(graph) as f:
        f.readline()
        rows = [[int(v) - 1 for v in line.split()] for line in f]
    with open(parts) as f:
        part = [int(v) for v in f]
    assert len(rows) == len(part)
    return sum(part[v] != part[u] for v, row in enumerate(rows) for u in row) // 2, part


def check_partition(tool, mesh, ranks, tmp):
    files = [os.path.join(tmp, f"p{k}.txt") for k in range(2)]
    graph = os.path.join(tmp, "dual.graph")
    reports = [json.loads(mpirun(ranks, tool, "partition", "--parts", "3", "--graph", graph,
                                 mesh, out)) for out in files]
    assert reports[0] == reports[1], (mesh, ranks, reports)
    cut, part = cut_of(graph, files[0])
    with open(files[1]) as f:
        assert [int(v) for v in f] == part, (mesh, ranks, "rerun differs")
    r = reports[0]
    assert r["edge_cut"] == cut and sorted(set(part)) == [0, 1, 2], (mesh, ranks, r, cut)
    assert r["imbalance"] <= IMBALANCE + 1e-9 and sum(r["part_elements"]) == len(part), r


PARTS = 3


def vtk_arrays(path):
    """Points, cells and the id and ghost arrays of a piece, through VTK."""
    from vtk import vtkXMLUnstructuredGridReader
    from vtk.util.numpy_support import vtk_to_numpy
    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(path)
    reader.Update()
    grid = reader.GetOutput()
    arrays = {}
    for where, data in (("point", grid.GetPointData()), ("cell", grid.GetCellData())):
        for name in ("vtkGhostType", "GlobalNodeIds", "GlobalCellIds"):
            if data.GetArray(name) is not None:
                arrays[where, name] = vtk_to_numpy(data.GetArray(name))
    return arrays


def check_pieces(qf, whole, stem, where):
    """The pieces against the one-process split of the parts they own."""
    import numpy as np
    pieces = [vtk_arrays(f"{stem}_{k + 1}.vtu") for k in range(PARTS)]
    part = np.full(sum(len(b.data) for b in whole.cells), PARTS, dtype=np.uint32)
    for k, a in enumerate(pieces):
        part[a["cell", "GlobalCellIds"][a["cell", "vtkGhostType"] == 0]] = k
    assert (part < PARTS).all(), (where, "cells owned by no piece")
    for k, (a, e) in enumerate(zip(pieces, qf.split(whole, part, ghosts=1, n=PARTS))):
        got = qf.read(f"{stem}_{k + 1}.vtu")
        assert np.array_equal(a["point", "GlobalNodeIds"], e.global_node_ids), where
        assert np.array_equal(a["cell", "GlobalCellIds"], e.global_cell_ids), where
        assert np.array_equal(a["cell", "vtkGhostType"], e.ghost_cells), where
        assert np.array_equal(a["point", "vtkGhostType"], e.node_owner != k), where
        assert np.array_equal(got.points, e.points), where
        blocks = [(b.type, b.data) for b in e.cells if len(b.data)]
        assert [b.type for b in got.cells] == [t for t, _ in blocks], where
        assert all(np.array_equal(b.data, d) for b, (_, d) in zip(got.cells, blocks)), where
    return part


def check_gmsh_file(qf, whole, part, path, where):
    """The partitioned gmsh file: gmsh and meshio read it, the package reads
    back the whole mesh with each cell's partition."""
    import meshio
    import numpy as np
    run(["gmsh", path, "-0", "-o", path + ".check.msh"])
    assert len(meshio.read(path).points) == len(whole.points), where
    got = qf.read(path)
    assert np.array_equal(got.points, whole.points), where
    start = 0
    for b, g, refs in zip(whole.cells, got.cells, got.cell_data["gmsh:physical"]):
        key = part[start:start + len(b.data)]
        expected = sorted(zip(key + 1, map(tuple, b.data)))
        assert sorted(zip(refs, map(tuple, g.data))) == expected, where
        start += len(b.data)


def check_partitioned(tool, mesh, ranks, tmp, serial):
    """partition to .pvtu (one ghost layer) and .msh, read back, and info on
    both by parts."""
    import quernfold as qf
    where = (mesh, ranks)
    whole = qf.read(mesh)
    stem = os.path.join(tmp, "parts")
    mpirun(ranks, tool, "partition", "--parts", str(PARTS), "--ghosts", "1", mesh, stem + ".pvtu")
    part = check_pieces(qf, whole, stem, where)
    mpirun(ranks, tool, "partition", "--parts", str(PARTS), mesh, stem + ".msh")
    check_gmsh_file(qf, whole, part, stem + ".msh", where)
    if ranks == 2:  # the partitioned file in turn, read by parts
        again = os.path.join(tmp, "again")
        mpirun(ranks, tool, "partition", "--parts", str(PARTS), "--ghosts", "1", stem + ".msh",
               again + ".pvtu")
        check_pieces(qf, qf.read(stem + ".msh"), again, (stem + ".msh", ranks))
    for path in (stem + ".pvtu", stem + ".msh"):
        got = json.loads(mpirun(ranks, tool, "info", "--json", path))
        expected = serial if path.endswith(".pvtu") else json.loads(
            run([os.path.join(os.path.dirname(tool), "quernfold"), "info", "--json", path]))
        expected = {k: v for k, v in expected.items() if k not in ("file", "format")}
        same_info(json.loads(json.dumps(expected)),
                  {k: v for k, v in got.items() if k not in ("file", "format")}, (path, ranks))
def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def sizes_of(text):
    words = text.split()
    at = words.index(b"SolAtVertices")
    return [float(v) for v in words[at + 4:at + 4 + int(words[at + 1])]]


def serial_outputs(build, mesh, tmp):
    """The tool's files: boundary, clean, sizemap, graded sizemap."""
    tool = os.path.join(build, "tools", "quernfold")
    files = [os.path.join(tmp, "serial" + ext) for ext in (".msh", ".vtu", ".sol", "_graded.sol")]
    prints = [run([tool, "boundary", mesh, files[0]]),
              run([tool, "clean", "--tol", CLEAN_TOLERANCE, mesh, files[1]])]
    rule = SIZE_RULES[os.path.basename(mesh)]
    run([tool, "sizemap", *rule, mesh, files[2]])
    run([tool, "sizemap", *rule, "--gradation", str(GRADATION), mesh, files[3]])
    return [read_bytes(f) for f in files], prints


def bound_holds(build, mesh, sizes):
    """True when the package's bound (shrink only) changes no size; None
    without the package (of this build) or meshio."""
    sys.path.insert(0, os.path.join(build, "python"))
    try:
        import meshio
        import numpy
        import quernfold
    except ImportError:
        return None
    m = meshio.read(mesh)
    dim = max(CELL_DIMENSIONS.get(b.type, 0) for b in m.cells)
    for block in m.cells:
        if CELL_DIMENSIONS.get(block.type) == dim:
            _, changed = quernfold.bound_gradation(m.points, block.data, block.type,
                                                   numpy.array(sizes), GRADATION, direction=-1)
            if changed:
                return False
    return True


CELL_DIMENSIONS = {"tetra": 3, "pyramid": 3, "wedge": 3, "hexahedron": 3, "triangle": 2, "quad": 2}


def check_commands(build, tool, mesh, ranks, tmp, serial):
    """boundary, clean and sizemap against the tool's files; the relative
    differences of the graded sizes."""
    (skin, cleaned, sizes, graded), prints = serial
    out = [os.path.join(tmp, f"mpi{ranks}" + ext) for ext in (".msh", ".vtu", ".sol", "_g.sol")]
    got = [mpirun(ranks, tool, "boundary", mesh, out[0]),
           mpirun(ranks, tool, "clean", "--tol", CLEAN_TOLERANCE, mesh, out[1])]
    rule = SIZE_RULES[os.path.basename(mesh)]
    mpirun(ranks, tool, "sizemap", *rule, mesh, out[2])
    mpirun(ranks, tool, "sizemap", *rule, "--gradation", str(GRADATION), mesh, out[3])
    assert got == prints, (mesh, ranks, got, prints)
    for name, expected, path in zip(("boundary", "clean", "sizemap"), (skin, cleaned, sizes), out):
        assert read_bytes(path) == expected, (mesh, ranks, name)
    ungraded, mine = sizes_of(read_bytes(out[2])), sizes_of(read_bytes(out[3]))
    theirs = sizes_of(graded)
    assert all(a <= b for a, b in zip(mine, ungraded)), (mesh, ranks, "a graded size grew")
    assert bound_holds(build, mesh, mine) is not False, (mesh, ranks, "an edge breaks the bound")
    assert ranks > 1 or read_bytes(out[3]) == graded, (mesh, "one rank differs from the tool")
    diff = [abs(a - b) / b for a, b in zip(mine, theirs) if b > 0]
    assert sum(diff) / len(diff) <= GRADED_MEAN_DIFFERENCE, (mesh, ranks, max(diff))
    return max(diff), sum(diff) / len(diff)


def main():
    build, source = sys.argv[1], sys.argv[2]
    sys.path.insert(0, os.path.join(build, "python"))  # the package of this build
    if not shutil.which("gmsh") or not shutil.which("mpirun"):
        print("gmsh or mpirun missing: skipped")
        return 77
    tool = os.path.join(build, "tools", "quernfold-mpi")
    checks = 0
    with tempfile.TemporaryDirectory() as tmp:
        for mesh in make_meshes(tmp, build, source):
            serial = json.loads(run([os.path.join(build, "tools", "quernfold"), "info", "--json", mesh]))
            compared = os.path.basename(mesh) in COMPARED_MESHES
            outputs = serial_outputs(build, mesh, tmp) if compared else None
            for ranks in RANKS:
                same_info(json.loads(json.dumps(serial)),
                          json.loads(mpirun(ranks, tool, "info", "--json", mesh)), (mesh, ranks))
                check_partition(tool, mesh, ranks, tmp)
                checks += 2
                if not mesh.endswith("_bin.msh"):
                    check_partitioned(tool, mesh, ranks, tmp, serial)
                if outputs:
                    largest, mean = check_commands(build, tool, mesh, ranks, tmp, outputs)
                    print(f"{os.path.basename(mesh)}, {ranks} ranks: graded sizes differ by "
                          f"{largest:.2e} at most, {mean:.2e} on average")
                    checks += 1
    print(f"{checks} passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
