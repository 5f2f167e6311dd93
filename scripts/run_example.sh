#!/usr/bin/env bash
# Sets up, builds Varnak and varnak-tools (Release, in build/release) and runs Varnak on a
# shipped example network.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVARNAK_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel 2 --target Varnak varnak-tools >/dev/null
build/release/Varnak --graph examples/abilene.txt --N 100000 --seed 1 \
  --outpath build/abilene-result.xml "$@"
