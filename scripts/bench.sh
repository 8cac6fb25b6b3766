#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine (fresh folders each run) and prints their figures.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(mkdir -p "${BUILD_DIR:-$top/build}" && cd "${BUILD_DIR:-$top/build}" && pwd)"
bash "$top/scripts/setup.sh"
BUILD_DIR="$build" bash "$top/scripts/build.sh" --target list_bench
bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
cat > "$build/bench-run.sh" <<EOS
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1
wine "$build/tests/list_bench.exe" "\$@"
wineserver -k
EOS
xvfb-run -a bash "$build/bench-run.sh" "$@"
