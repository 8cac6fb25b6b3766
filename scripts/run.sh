#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine.
# Uses the real X display when there is one, else a virtual one (xvfb-run).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"

bash "$top/scripts/setup.sh"
BUILD_DIR="$build" bash "$top/scripts/build.sh" --target VelmoraDownloader
bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$build"
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$build/VelmoraDownloader.exe"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$build/VelmoraDownloader.exe"
