#!/usr/bin/env bash
# quernfold-mpi on the peer harness's 984k-tetrahedron cube at 1, 2 and 4
# ranks against the one-process tool: wall time and the largest peak memory
# of one rank (/usr/bin/time per rank) for `info --json`, then `partition
# --parts 32` at 2 and 4 ranks against gpmetis on the same dual graph (edge
# cut, imbalance, same parts on a rerun), and `partition --parts 32 --ghosts 1`
# to a .pvtu against the one-process tool.
#   bench/mpi_peers.sh BUILD_DIR
# box.msh (MSH 2.2) comes from the peer harness (PEERS_ONLY=topo
# /work/shared/peers/run.sh); it is converted to MSH 4.1 once with the tool.
set -euo pipefail
build=$(cd "$1" && pwd)
data=${QUERNFOLD_PEER_DATA:-${TMPDIR:-/tmp}/quernfold-peers/data}
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
tool=$build/tools/quernfold
mpi_tool=$build/tools/quernfold-mpi
cube=$data/box41.msh
[[ -f $cube ]] || "$tool" convert "$data/box.msh" "$cube" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# Wall seconds and the largest peak KB of the processes of one run.
measure() {
  local start end
  start=$(date +%s.%N)
  "$@" 2>"$work/time" >"$work/out"
  end=$(date +%s.%N)
  local peak
  peak=$(grep -o 'peak [0-9]*' "$work/time" | awk '{print $2}' | sort -n | tail -1)
  printf '%.2f s, largest rank %d MB' "$(echo "$end - $start" | bc)" $((peak / 1024))
}

echo "== info --json"
echo "one process: $(measure /usr/bin/time -f 'peak %M' "$tool" info --json "$cube")"
cp "$work/out" "$work/serial.json"
for ranks in 1 2 4; do
  echo "$ranks ranks: $(measure mpirun --oversubscribe -n "$ranks" /usr/bin/time -f 'peak %M' \
    "$mpi_tool" info --json "$cube")"
  /usr/bin/python3 - "$work/serial.json" "$work/out" <<'PY'
import json, sys
a, b = (json.load(open(p)) for p in sys.argv[1:])
means = [(key, a[key], b[key]) for key in ("quality", "edge_length")]
means += [("cell_quality " + k, v, b["cell_quality"][k]) for k, v in a["cell_quality"].items()]
for key, x, y in means:
    x, y = x.pop("mean"), y.pop("mean")
    print(f"  {key} mean relative difference {abs(x - y) / abs(x):.1e}")
a.pop("file"), b.pop("file")
print("  other fields", "equal" if a == b else "DIFFER")
PY
done

echo "== partition --parts 32"
for ranks in 2 4; do
  for run in 1 2; do
    echo "$ranks ranks, run $run: $(measure mpirun --oversubscribe -n "$ranks" /usr/bin/time \
      -f 'peak %M' "$mpi_tool" partition --parts 32 --graph "$work/dual.graph" "$cube" \
      "$work/parts$run") $(cat "$work/out")"
  done
  cmp -s "$work/parts1" "$work/parts2" && echo "  rerun: same parts" || echo "  rerun: DIFFERENT parts"
  gpmetis "$work/dual.graph" 32 >"$work/gpmetis.log"
  echo "  gpmetis: $(grep -E 'Edgecut|balance' "$work/gpmetis.log" | tr -s ' ' | tr '\n' ' ')"
done

echo "== partition --parts 32 --ghosts 1 to a .pvtu (migration, each rank its pieces)"
echo "one process: $(measure /usr/bin/time -f 'peak %M' "$tool" partition --parts 32 --ghosts 1 \
  "$cube" "$work/serial.pvtu")"
for ranks in 2 4; do
  echo "$ranks ranks: $(measure mpirun --oversubscribe -n "$ranks" /usr/bin/time -f 'peak %M' \
    "$mpi_tool" partition --parts 32 --ghosts 1 "$cube" "$work/parts.pvtu")"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
