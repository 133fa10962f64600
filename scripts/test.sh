#!/usr/bin/env bash
# Builds quernfold and runs its test suites.
#   scripts/test.sh                 plain build in build/ (configured as
#                                   scripts/demo.sh configures it, so what the
#                                   demo built is reused)
#   SANITIZE=1 scripts/test.sh      AddressSanitizer + UBSan build in build-asan/
# The plain build also installs the Python package into build/venv (pip,
# from this checkout, nothing downloaded) and runs its pytest suite.
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
  # Debian's interpreter, which has numpy, pybind11 and pytest.
  python=${QUERNFOLD_PYTHON:-/usr/bin/python3}
  [[ -x "$python" ]] && extra=(-DPython3_EXECUTABLE="$python")
fi

echo "== configure $build/"
cmake --log-level=WARNING -S . -B "$build" -DQUERNFOLD_WERROR=ON "${extra[@]}"
echo "== build every target ($(nproc) jobs)"
cmake --build "$build" -j"$(nproc)"
echo "== C++ tests"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

if [[ "${SANITIZE:-0}" != 1 && -x "${python:-}" ]]; then
  echo "== Python package (pip install into $build/venv, pytest)"
  venv="$build/venv"
  [[ -x "$venv/bin/python" ]] || "$python" -m venv --system-site-packages "$venv"
  QUERNFOLD_CMAKE_BUILD_DIR="$PWD/$build" "$venv/bin/python" -m pip install -q \
    --disable-pip-version-check --no-build-isolation --no-deps --no-index .
  # The parity and partition tests run the tool of this build beside the
  # installed package.
  QUERNFOLD_CLI="$PWD/$build/tools/quernfold" "$venv/bin/python" -m pytest -q python/tests
fi
