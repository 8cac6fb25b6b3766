#!/usr/bin/env bash
# Installs what is missing, builds the program and the tests, and runs every test headless
# under Wine and Xvfb. Also builds the 64-bit variant to keep the code 64-bit clean.
#
# The suite runs on the 32-bit build, the one that ships. A machine whose kernel cannot run
# 32-bit programs (no IA32 emulation, as on some virtual machines) cannot start 32-bit Wine;
# there the suite runs on the 64-bit build under Wine's 64-bit loader, and the release tests
# still check the 32-bit program file.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"

bash "$top/scripts/setup.sh"
# The includes point down the house and form no circle (README, Layout).
python3 "$top/scripts/check-layers.py"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  BUILD_DIR="$build" bash "$top/scripts/build.sh"
  cmake -S "$top" -B "$build-x64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
        -DVELMORA_TESTS=OFF >/dev/null
  cmake --build "$build-x64"
  suite="$build"
  export VELMORA_WINE=wine
else
  echo "This machine cannot run 32-bit programs: the suite runs on the 64-bit build." >&2
  BUILD_DIR="$build" bash "$top/scripts/build.sh" --target VelmoraDownloader
  cmake -S "$top" -B "$build-x64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
        -DVELMORA_TESTS=ON -DVELMORA_SHIPPED_EXE="$build/VelmoraDownloader.exe" >/dev/null
  cmake --build "$build-x64"
  suite="$build-x64"
  export VELMORA_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
fi

bash "$top/scripts/make-prefix.sh" "$suite/wineprefix"
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$top/scripts/ctest-under-wine.sh" "$suite" "$@"
