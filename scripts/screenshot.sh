#!/usr/bin/env bash
# Starts the built program in a fresh folder under a virtual display and saves a screenshot.
# Usage: screenshot.sh [output.png] [seconds to wait]   (BUILD_DIR selects the build)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${BUILD_DIR:-$top/build}" && pwd)"
out="$(realpath -m "${1:-$top/build/screenshot.png}")"
wait="${2:-4}"
bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
demo="$(mktemp -d)"
cp "$build/VelmoraDownloader.exe" "$demo/"
cat > "$demo/shot.sh" <<EOS
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$demo"
wine VelmoraDownloader.exe &
sleep $wait
import -window root "$out"
wineserver -k
EOS
xvfb-run -a -s "-screen 0 1024x700x24" bash "$demo/shot.sh"
rm -rf "$demo"
echo "$out"
