#!/usr/bin/env bash
# Installs the Debian packages that building and testing quernfold need, when
# they are missing (as root, through apt-get). Does nothing when all are there.
#   scripts/deps.sh            build and test packages
#   scripts/deps.sh interop    also the other programs that the file-format
#                              tests exchange files with (gmsh, meshio, VTK)
#   scripts/deps.sh robustness also the locale data and clang with libFuzzer
#                              for the locale tests and the fuzz targets
#   scripts/deps.sh mpi        also Open MPI and PT-Scotch for quernfold-mpi
set -euo pipefail
packages=(cmake make g++ libgtest-dev liblapack-dev libbenchmark-dev nlohmann-json3-dev
  # partitioning and compressed VTK XML files
  libmetis-dev zlib1g-dev metis
  # the Python package: build, virtual environment, tests
  python3-venv python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest
  python3-setuptools python3-wheel python3-meshio)
for group in "$@"; do
  case $group in
    interop) packages+=(gmsh python3-gmsh python3-meshio python3-numpy python3-vtk9) ;;
    robustness) packages+=(locales clang libclang-rt-14-dev) ;;
    mpi) packages+=(libopenmpi-dev openmpi-bin libptscotch-dev) ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
