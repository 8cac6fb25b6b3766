#!/usr/bin/env bash
# Installs what is missing, builds the program and the tests, and runs every test headless
# under Wine and Xvfb. Also builds the 64-bit variant to keep the code 64-bit clean.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"

bash "$top/scripts/setup.sh"
BUILD_DIR="$build" bash "$top/scripts/build.sh"
cmake -S "$top" -B "$build-x64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
      -DVELMORA_TESTS=OFF >/dev/null
cmake --build "$build-x64"

bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$top/scripts/ctest-under-wine.sh" "$build" "$@"
