#!/usr/bin/env bash
# Builds the quernfold tool and describes the bundled sample mesh with it.
# Extra arguments replace the default command, e.g.
#   scripts/demo.sh quality --bins 5 examples/sample.stl
# The build is the plain one of scripts/test.sh (build/, the same configure
# options), so that the test script afterwards builds only what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== build packages (scripts/deps.sh)"
scripts/deps.sh
python=${QUERNFOLD_PYTHON:-/usr/bin/python3}
options=(-DQUERNFOLD_WERROR=ON)
[[ -x "$python" ]] && options+=(-DPython3_EXECUTABLE="$python")
echo "== configure build/"
cmake --log-level=WARNING -S . -B build "${options[@]}"
echo "== build the tool ($(nproc) jobs; the first build takes a few minutes)"
cmake --build build -j"$(nproc)" --target quernfold_cli
echo "== run"
if (($#)); then exec build/tools/quernfold "$@"; fi
exec build/tools/quernfold info examples/sample.stl
