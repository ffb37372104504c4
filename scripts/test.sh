#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with CTest.
# BUILD_DIR picks the build folder; extra arguments go to CMake's configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
BUILD_DIR=$build bash "$root/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)"
