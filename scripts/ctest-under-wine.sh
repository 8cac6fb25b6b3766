#!/usr/bin/env bash
# Runs ctest with one wineserver kept alive for the whole suite (inside Xvfb).
set -uo pipefail
build="$(cd "$1" && pwd)"; shift
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p
# Start Wine's background services now, detached from ctest's output pipes: started by the
# first test they would inherit its output and ctest would wait for them to end.
"${VELMORA_WINE:-wine}" cmd /c exit </dev/null >/dev/null 2>&1
cd "$build"
ctest --output-on-failure "$@"
status=$?
wineserver -k 2>/dev/null || true
exit $status
