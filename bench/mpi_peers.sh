#!/usr/bin/env bash
# quernfold-mpi on the peer harness's 984k-tetrahedron cube at 1, 2 and 4
# ranks against the one-process tool: wall time and the largest peak memory
# of one rank (/usr/bin/time per rank) for `info --json`, then `partition
# --parts 32` at 2 and 4 ranks against gpmetis on the same dual graph (edge
# cut, imbalance, same parts on a rerun), `partition --parts 32 --ghosts 1`
# to a .pvtu against the one-process tool, and `sizemap --gradation 1.3` at
# 1, 2 and 4 ranks (wall time against the one-process tool, the largest and
# mean relative difference of the sizes; without gradation the same bytes).
#   bench/mpi_peers.sh BUILD_DIR [info|partition|sizemap]   (default: all three)
# box.msh (MSH 2.2) comes from the peer harness (PEERS_ONLY=topo
# /work/shared/peers/run.sh); it is converted to MSH 4.1 once with the tool.
set -euo pipefail
build=$(cd "$1" && pwd)
only=${2:-all}
wanted() { [[ $only == all || $only == "$1" ]]; }
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

if wanted info; then
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
fi

if wanted partition; then
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
fi

if wanted sizemap; then
echo "== sizemap --gradation 1.3"
echo "one process: $(measure /usr/bin/time -f 'peak %M' "$tool" sizemap --gradation 1.3 "$cube" \
  "$work/serial.sol")"
"$tool" sizemap "$cube" "$work/serial_ungraded.sol" >/dev/null
for ranks in 1 2 4; do
  echo "$ranks ranks: $(measure mpirun --oversubscribe -n "$ranks" /usr/bin/time -f 'peak %M' \
    "$mpi_tool" sizemap --gradation 1.3 "$cube" "$work/mpi.sol") $(cat "$work/out")"
  mpirun --oversubscribe -n "$ranks" "$mpi_tool" sizemap "$cube" "$work/mpi_ungraded.sol" >/dev/null
  cmp -s "$work/serial_ungraded.sol" "$work/mpi_ungraded.sol" && echo "  ungraded: same bytes" ||
    echo "  ungraded: DIFFERENT bytes"
  /usr/bin/python3 - "$work/serial.sol" "$work/mpi.sol" <<'PY'
import sys
def sizes(path):
    words = open(path).read().split()
    at = words.index("SolAtVertices")
    return [float(v) for v in words[at + 4:at + 4 + int(words[at + 1])]]
a, b = (sizes(p) for p in sys.argv[1:])
d = [abs(x - y) / x for x, y in zip(a, b) if x > 0]
print(f"  graded sizes: largest relative difference {max(d):.1e}, mean {sum(d) / len(d):.1e}")
PY
done
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
