#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine (fresh folders each run) and prints their figures.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
default_build="$top/build"
wine=wine
/usr/lib/wine/wine --version >/dev/null 2>&1 || { default_build="$top/build-x64"; wine=/usr/lib/wine/wine64; }
build="$(mkdir -p "${BUILD_DIR:-$default_build}" && cd "${BUILD_DIR:-$default_build}" && pwd)"
bash "$top/scripts/setup.sh"
if [ "$wine" = wine ]; then
  BUILD_DIR="$build" bash "$top/scripts/build.sh" --target list_bench
else
  # A kernel that cannot run 32-bit programs: the 64-bit build under Wine's 64-bit loader.
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
        -DVELMORA_TESTS=ON >/dev/null
  cmake --build "$build" --target list_bench
  export VELMORA_WINE="$wine" WINELOADER="$wine"
fi
bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
loader_line=""
[ "$wine" = wine ] || loader_line="export WINELOADER=$wine"
cat > "$build/bench-run.sh" <<EOS
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
${loader_line}
wineserver -p
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
"$wine" "$build/tests/list_bench.exe" "\$@"
wineserver -k
EOS
xvfb-run -a bash "$build/bench-run.sh" "$@"
