#!/usr/bin/env bash
# Builds the quernfold tool and describes the bundled sample mesh with it.
# Extra arguments replace the default command, e.g.
#   scripts/demo.sh quality --bins 5 examples/sample.stl
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target quernfold_cli >/dev/null
if (($#)); then exec build/tools/quernfold "$@"; fi
exec build/tools/quernfold info examples/sample.stl
