#!/usr/bin/env bash
# Runs the reader fuzz targets of a build configured with
# -DQUERNFOLD_BUILD_FUZZ=ON (clang):
#   fuzz/run.sh BUILD_DIR RUNS [SECONDS] [READER...]
# Each target runs RUNS inputs past its seeds (-1: no limit), for at most
# SECONDS (0: no limit). Seeds: the first 16 KiB of every fixture and real
# mesh of its format (skipped when absent). Readers take zero-filled storage
# for nodes far past the others, which costs memory only where nodes land,
# so what counts is resident memory (-rss_limit_mb), not the size of one
# allocation. The sanitizer writes the shadow of every block it maps (an
# eighth of the block), which would turn a lazily zeroed block into real
# memory and time, so it grants single blocks up to 64 MiB
# (max_allocation_size_mb; larger requests come back as -199, as a refusal
# of the system does), and -malloc_limit_mb stays above that so a granted
# block is no fault by itself. A crash, a leak, a broken promise, a hang or
# resident memory above the limit fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 runs=$2 seconds=${3:-0}
shift $(($# < 3 ? $# : 3))
readers=("${@:-stl nastran femap obj medit vtk msh}")
meshes=${QUERNFOLD_MESH_DIR:-$root/../shared/meshes}
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:max_allocation_size_mb=64:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
declare -A ext=([stl]=stl [nastran]=bdf [femap]=neu [obj]=obj [medit]=mesh [vtk]=vtk [msh]=msh)
for reader in ${readers[*]}; do
  seeds=$build/fuzz/seeds-$reader corpus=$build/fuzz/corpus-$reader
  mkdir -p "$seeds" "$corpus"
  for f in "$root"/tests/fixtures/{io,readers}/*."${ext[$reader]}"* "$meshes/$reader"/*; do
    [[ -f $f ]] && head -c 16384 "$f" >"$seeds/$(basename "$f")"
  done
  echo "== fuzz $reader ($(ls "$seeds" | wc -l) seeds)"
  start=$SECONDS
  "$build/fuzz/${reader}_fuzz" "$corpus" "$seeds" -dict="$root/fuzz/dict/$reader.dict" \
    -runs="$runs" -max_total_time="$seconds" -max_len=16384 -timeout=60 \
    -rss_limit_mb=2048 -malloc_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz/$reader-" 2>"$build/fuzz/$reader.log" ||
    { tail -n 60 "$build/fuzz/$reader.log"; exit 1; }
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/fuzz/$reader.log" | tr '\n' ' '
  echo "($((SECONDS - start)) s)"
done
