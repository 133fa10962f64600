#!/usr/bin/env bash
# Builds quernfold and runs its test suites.
#   scripts/test.sh                 plain build in build/
#   SANITIZE=1 scripts/test.sh      AddressSanitizer + UBSan build in build-asan/
# On a fresh Debian machine (as root) the missing build packages are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

if [[ "${SANITIZE:-0}" == 1 ]]; then
  build=${BUILD_DIR:-build-asan}
  extra=(-DQUERNFOLD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
else
  build=${BUILD_DIR:-build}
  extra=()
fi

cmake -S . -B "$build" -DQUERNFOLD_WERROR=ON "${extra[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
