#!/usr/bin/env bash
# Creates the Wine prefix of a build folder once, with the registry settings the program and
# its tests need. Usage: make-prefix.sh <prefix folder> [dpi]
# A dpi (96, 144, 192, ...) makes Wine report that display scale to programs in the prefix;
# without one the prefix keeps whatever it has (96 when new).
set -euo pipefail
prefix="$1"
dpi="${2:-}"
here="$(cd "$(dirname "$0")" && pwd)"
wine="${VELMORA_WINE:-wine}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.velmora-ready" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1
  "$wine" regedit /S "$("$wine" winepath -w "$here/wine-prefix.reg")" >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.velmora-ready"
fi

# Wine draws the caption buttons (minimize, maximize, close) with the Marlett font; a new
# prefix has none and shows the letters "0 1 r" instead. Older prefixes get it too.
fonts="$prefix/drive_c/windows/Fonts"
marlett=/usr/share/wine/fonts/marlett.ttf
if [ ! -f "$fonts/marlett.ttf" ]; then
  if [ -f "$marlett" ]; then
    mkdir -p "$fonts"
    cp "$marlett" "$fonts/marlett.ttf"
  else
    echo "no $marlett (package fonts-wine): caption buttons will show as letters" >&2
  fi
fi

if [ -n "$dpi" ] && [ "$(cat "$prefix/.velmora-dpi" 2>/dev/null)" != "$dpi" ]; then
  reg="$(mktemp --suffix=.reg)"
  hex="$(printf '%08x' "$dpi")"
  cat > "$reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$hex

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]
"LogPixels"=dword:$hex
REG
  "$wine" regedit /S "$("$wine" winepath -w "$reg")" >/dev/null 2>&1
  wineserver -w
  rm -f "$reg"
  echo "$dpi" > "$prefix/.velmora-dpi"
fi
