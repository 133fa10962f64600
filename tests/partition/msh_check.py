#!/usr/bin/python3
# gmsh's own reading of our partitioned MSH files, and gmsh's own partitioned
# files for our reader. Argument: a folder holding expected.txt, whose lines
# "FILE KIND PARTITION COUNT" give, for each file of ours, the elements gmsh
# must find on its partition entities (KIND part) and ghost entities (KIND
# ghost), and the cells meshio must find in it (KIND meshio, PARTITION 0;
# skipped without meshio). Then writes gmsh_whole.msh (a partitioned cube in 4 parts),
# gmsh_split_1.msh .. gmsh_split_4.msh (the same, one file per part) and
# gmsh_counts.txt ("PARTITION COUNT": the tetrahedra of each part). Exits 0
# when gmsh agrees with every line, 1 otherwise, 77 without gmsh's module.
import collections, os, sys

try:
    import gmsh
except ImportError:
    sys.exit(77)

folder = sys.argv[1]
expected = collections.defaultdict(dict)
with open(os.path.join(folder, "expected.txt")) as f:
    for line in f:
        name, kind, part, count = line.split()
        expected[name][(kind, int(part))] = int(count)

gmsh.initialize()
gmsh.option.setNumber("General.Terminal", 0)
failed = False
for name, want in expected.items():
    gmsh.clear()
    gmsh.open(os.path.join(folder, name))
    got = collections.Counter()
    for dim, tag in gmsh.model.getEntities():
        kind = gmsh.model.getType(dim, tag).split()[0]
        if kind in ("Partition", "Ghost"):
            _, tags, _ = gmsh.model.mesh.getElements(dim, tag)
            for part in gmsh.model.getPartitions(dim, tag)[:1]:
                got[("part" if kind == "Partition" else "ghost", part)] += sum(map(len, tags))
    meshio_want = {k: v for k, v in want.items() if k[0] == "meshio"}
    if meshio_want:
        try:
            import meshio
            cells = sum(len(c.data) for c in meshio.read(os.path.join(folder, name)).cells)
            got[("meshio", 0)] = cells
        except ImportError:
            want = {k: v for k, v in want.items() if k[0] != "meshio"}
        except Exception as error:  # a refusal is a result to report
            got[("meshio", 0)] = f"refused ({error})"
    if dict(got) != want:
        failed = True
        print(f"{name}: gmsh finds {dict(got)}, want {want}")

gmsh.clear()
gmsh.model.occ.addBox(0, 0, 0, 1, 1, 1)
gmsh.model.occ.synchronize()
gmsh.option.setNumber("Mesh.MeshSizeMax", 0.3)
gmsh.model.mesh.generate(3)
gmsh.model.mesh.partition(4)
counts = collections.Counter()
for dim, tag in gmsh.model.getEntities(3):
    if gmsh.model.getType(dim, tag).startswith("Partition"):
        types, tags, _ = gmsh.model.mesh.getElements(dim, tag)
        counts[gmsh.model.getPartitions(dim, tag)[0]] += sum(map(len, tags))
gmsh.write(os.path.join(folder, "gmsh_whole.msh"))
gmsh.option.setNumber("Mesh.Binary", 1)
gmsh.write(os.path.join(folder, "gmsh_binary.msh"))
gmsh.option.setNumber("Mesh.Binary", 0)
gmsh.option.setNumber("Mesh.PartitionSplitMeshFiles", 1)
gmsh.write(os.path.join(folder, "gmsh_split.msh"))
with open(os.path.join(folder, "gmsh_counts.txt"), "w") as f:
    for part in sorted(counts):
        f.write(f"{part} {counts[part]}\n")
gmsh.finalize()
sys.exit(1 if failed else 0)
