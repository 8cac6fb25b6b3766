#!/usr/bin/env bash
# Configures and builds the 32-bit program and its tests into build/ (or $BUILD_DIR).
# Extra arguments go to the build step, e.g. "--target VelmoraDownloader".
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" "$@"
