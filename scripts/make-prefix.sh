#!/usr/bin/env bash
# Creates the Wine prefix of a build folder once, with the registry settings the program and
# its tests need. Usage: make-prefix.sh <prefix folder>
set -euo pipefail
prefix="$1"
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.velmora-ready" ]; then
  mkdir -p "$prefix"
  "${VELMORA_WINE:-wine}" wineboot -i >/dev/null 2>&1
  "${VELMORA_WINE:-wine}" regedit /S "$("${VELMORA_WINE:-wine}" winepath -w "$here/wine-prefix.reg")" >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.velmora-ready"
fi
