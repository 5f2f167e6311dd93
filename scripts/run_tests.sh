#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. With VARNAK_SANITIZE=1 the build uses
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
# CMake's warnings and errors are shown; its progress is not.
if [[ "${VARNAK_SANITIZE:-0}" == 1 ]]; then
  build_dir=build/sanitize
  cmake -S . -B "$build_dir" --log-level=WARNING -DCMAKE_BUILD_TYPE=Debug -DVARNAK_SANITIZE=ON
else
  build_dir=build/test
  # The Python module and its tests are built for Debian's interpreter, the one that the
  # packages setup.sh installs (NumPy, NetworkX, matplotlib, pytest) belong to, and are
  # required: without pybind11 the configure fails rather than leave their tests out. The
  # sanitized build leaves the module out: an interpreter without the sanitizers cannot
  # load it.
  cmake -S . -B "$build_dir" --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE=/usr/bin/python3 -DVARNAK_REQUIRE_PYTHON=ON
fi
cmake --build "$build_dir" --parallel 2
ctest --test-dir "$build_dir" --output-on-failure --parallel 2
