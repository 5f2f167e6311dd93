#!/usr/bin/env bash
# Installs the Debian packages Varnak builds with; does nothing when all are there.
set -euo pipefail
# Callers such as run_example.sh print their results on standard output right after this
# script, so everything it says, apt-get and dpkg included, goes to standard error.
exec >&2

packages=(g++ cmake make libboost-dev libboost-program-options-dev libdivide-dev
          libgtest-dev libgmock-dev googletest libbenchmark-dev python3
          python3-dev pybind11-dev python3-pybind11 python3-numpy python3-networkx
          python3-matplotlib python3-pytest python3-hypothesis python3-setuptools python3-pip python3-venv
          libopenmpi-dev openmpi-bin)
if [[ "${VARNAK_WITH_FUZZING:-0}" == 1 ]]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  as_root=()
else
  as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
