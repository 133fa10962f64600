#!/usr/bin/env bash
# The tool on 1 and 2 threads (or THREADS="1 2 4"): `info --json`,
# `sizemap` and `quality --json` on the 984k-tetrahedron cube in MSH 4.1,
# `info --json` on the 1M-triangle text STL torus. Runs are interleaved (every command at every
# thread count, ROUNDS times over), the best wall time of each is kept, and
# the outputs must be the same bytes at every thread count.
#
#   bench/threads_bench.sh [build/tools/quernfold]
#
# The meshes come from the peer workloads (PEERS_ONLY=topo
# /work/shared/peers/run.sh, in $DATA, default /tmp/quernfold-peers/data);
# the cube, written there in MSH 2.2, is converted once to MSH 4.1 by gmsh.
set -euo pipefail

TOOL=${1:-build/tools/quernfold}
DATA=${DATA:-/tmp/quernfold-peers/data}
THREADS=${THREADS:-1 2}
ROUNDS=${ROUNDS:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

CUBE=$DATA/box41.msh
TORUS=$DATA/torus.txt.stl
[ -f "$CUBE" ] || gmsh "$DATA/box.msh" -save -format msh41 -o "$CUBE" -0 > /dev/null
[ -f "$TORUS" ] || { echo "missing $TORUS: run the peer workloads first" >&2; exit 1; }

# name | command line (the output file, if any, is $WORK/<name>.<threads>.sol)
CASES=("cube info|info --json $CUBE" "cube sizemap|sizemap $CUBE @OUT@" "torus info|info --json $TORUS"
       "cube quality|quality --json $CUBE")

declare -A best
now() { date +%s.%N; }
for round in $(seq "$ROUNDS"); do
  for c in "${CASES[@]}"; do
    name=${c%%|*}
    for t in $THREADS; do
      key="$name.$t"
      out="$WORK/${key// /_}"
      args=${c#*|}
      args=${args//@OUT@/$out.sol}
      start=$(now)
      # shellcheck disable=SC2086
      "$TOOL" $args --threads "$t" > "$out.stdout"
      took=$(echo "$(now) - $start" | bc)
      if [ -z "${best[$key]:-}" ] || [ "$(echo "$took < ${best[$key]}" | bc)" = 1 ]; then
        best[$key]=$took
      fi
    done
  done
done

echo "load: $(cut -d' ' -f1-3 /proc/loadavg); best of $ROUNDS, interleaved"
printf '%-14s' case
for t in $THREADS; do printf '%12s' "$t thr (s)"; done
printf '%10s  %s\n' speedup "same bytes"
first=${THREADS%% *}
for c in "${CASES[@]}"; do
  name=${c%%|*}
  printf '%-14s' "$name"
  last=$first
  for t in $THREADS; do
    printf '%12.3f' "${best[$name.$t]}"
    last=$t
  done
  same=yes
  base="$WORK/${name// /_}.$first"
  for t in $THREADS; do
    other="$WORK/${name// /_}.$t"
    cmp -s "$base.stdout" "$other.stdout" || same=no
    if [ -f "$base.sol" ]; then cmp -s "$base.sol" "$other.sol" || same=no; fi
  done
  printf '%9.2fx  %s\n' "$(echo "${best[$name.$first]} / ${best[$name.$last]}" | bc -l)" "$same"
done
