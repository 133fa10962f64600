#!/usr/bin/env bash
# Reads the peer harness's 984k-tetrahedron mesh with quernfold's MSH, MEDIT
# and VTK readers and with meshio in the same run, and prints the ratios.
#   bench/mesh_input_peers.sh BUILD_DIR     (a build with -DQUERNFOLD_BUILD_BENCH=ON)
# box.msh comes from the peer harness (QUERNFOLD_PEERS_DIR, by default
# shared/peers beside the checkout: its run.sh, or gmsh on its src/box.geo);
# box.mesh and box.vtk are written from it once with meshio.
set -euo pipefail
build=$1
data=${QUERNFOLD_PEER_DATA:-${TMPDIR:-/tmp}/quernfold-peers/data}
peers=${QUERNFOLD_PEERS_DIR:-$(cd "$(dirname "$0")/../../shared/peers" 2>/dev/null && pwd || true)}
PY=/usr/bin/python3
mkdir -p "$data"
if [[ ! -f $data/box.msh ]]; then
  gmsh -3 -nt 1 -clmax 0.0167 "$peers/src/box.geo" -format msh22 -o "$data/box.msh" >/dev/null
fi
$PY - "$data" <<'PY'
import os, sys, meshio
data = sys.argv[1]
mesh = None
for ext, kw in (("mesh", {}), ("vtk", {"binary": False})):
    out = os.path.join(data, "box." + ext)
    if not os.path.exists(out):
        mesh = mesh or meshio.read(os.path.join(data, "box.msh"))
        meshio.write(out, meshio.Mesh(mesh.points, mesh.cells), **kw)
PY
cmake --build "$build" --target mesh_input_bench >/dev/null
QUERNFOLD_PEER_DATA=$data "$build/bench/mesh_input_bench" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json >"$data/mesh_input_bench.json"
$PY - "$data" <<'PY'
import json, os, statistics, sys, time, meshio
data = sys.argv[1]
ours = {b["run_name"].split("/")[1].split("_box")[0]: b["real_time"]
        for b in json.load(open(os.path.join(data, "mesh_input_bench.json")))["benchmarks"]
        if b.get("aggregate_name") == "median"}
for reader, name in (("msh_input", "box.msh"), ("medit_input", "box.mesh"), ("vtk_input", "box.vtk")):
    path = os.path.join(data, name)
    times = []
    for _ in range(3):
        t0 = time.perf_counter()
        meshio.read(path)
        times.append((time.perf_counter() - t0) * 1e3)
    mine = ours[reader]
    peer = statistics.median(times)
    print(f"{name:9} quernfold {reader:12} {mine:9.1f} ms   meshio {peer:9.1f} ms   meshio/quernfold {peer / mine:5.1f}")
PY
