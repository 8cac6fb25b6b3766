#!/usr/bin/env bash
# Starts the built program under a virtual display in fresh folders with a sample list and
# saves pictures of the main window: every bar shown (main.png), a narrow window
# (narrow.png), several bars hidden (hidden-bars.png), during a run (running.png), and the
# main window at 144 and 192 DPI (main-144dpi.png, main-192dpi.png; a prefix per DPI).
# Usage: screenshot.sh [output folder]   (default build/screenshots; BUILD_DIR selects the build)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${BUILD_DIR:-$top/build}" && pwd)"
out="$(realpath -m "${1:-$build/screenshots}")"
mkdir -p "$out"
wine="${VELMORA_WINE:-wine}"
bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
user="$(id -un)"  # Wine's user name, which names the per-user files

# One picture: shot <name> <screen size> <settings file text> [prefix]
shot() {
  local name="$1" screen="$2" settings="$3" prefix="${4:-$build/wineprefix}" demo
  demo="$(mktemp -d)"
  cp "$build/VelmoraDownloader.exe" "$demo/"
  printf '%s' "$settings" > "$demo/$user Velmora Downloader.ini"
  python3 - "$demo/$user Velmora Downloader Lv.txt" <<'PY'
import sys
rows = [
    "3|ダウンロード完了|  52 MB |http://downloads.example.net/tools/archive-2026.zip|55050240",
    "2|DL中：  18 MB /   96 MB ( 19%)| 96 MB |http://mirror.example.org/iso/debian-12.iso|100663296",
    "4|DL中断：1520 KB / 12288 KB ( 12%)|  12 MB |http://example.com/video/lecture-01.mp4|12582912",
    "5|HTTPエラー：404|  |http://example.com/missing/report.pdf",
    "0|スタンバイ|  |ftp://ftp.example.jp/pub/readme.txt",
    "0|スタンバイ|  |http://example.com/photos/IMG_0042.jpg",
]
with open(sys.argv[1], "wb") as f:
    f.write(b"\xff\xfe" + "\r\n".join(rows).encode("utf-16-le"))
PY
  cat > "$demo/shot.sh" <<EOS
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$demo"
"$wine" VelmoraDownloader.exe &
for i in \$(seq 50); do
  id=\$(xwininfo -root -tree | awk '/"Velmora Downloader"/ {print \$1; exit}')
  [ -n "\$id" ] && break
  sleep 0.2
done
[ -n "\$id" ] || { echo "$name: the window did not open" >&2; wineserver -k; exit 1; }
sleep 2
import -window "\$id" "$out/$name.png"
wineserver -k
EOS
  xvfb-run -a -s "-screen 0 ${screen}x24" bash "$demo/shot.sh"
  rm -rf "$demo"
  echo "$out/$name.png"
}

paths='[TOOLBAR]
DL_LIST=C:\Downloads\list.txt
DL_LOG=C:\Downloads\done.txt
CANCEL_LOG=C:\Downloads\cancel.txt
ERR_LOG=C:\Downloads\error.txt
DL_DIR=C:\Downloads
REFERER=http://example.com/
REFERER_ON=1
'
shot main 1240x800 "$paths"
shot narrow 600x700 "$paths"
shot hidden-bars 1240x800 "$paths[VIEW]
DL_LOG_TBAR=0
CANCEL_LOG_TBAR=0
ERR_LOG_TBAR=0
REF_TBAR=0
"
# The same window at Windows' 150 % and 200 %, on a screen as much larger.
bash "$top/scripts/make-prefix.sh" "$build/wineprefix-144dpi" 144
shot main-144dpi 1860x1200 "$paths" "$build/wineprefix-144dpi"
bash "$top/scripts/make-prefix.sh" "$build/wineprefix-192dpi" 192
shot main-192dpi 2480x1600 "$paths" "$build/wineprefix-192dpi"

# During a run: the program downloads slowly served files, driven by the download benchmark's
# driver (F5 in a fresh program folder), and is pictured mid-way (running.png).
driver="$build/tests/download_bench.exe"
if [ ! -f "$driver" ]; then
  echo "no $driver: build the tests first for running.png" >&2
  exit 0
fi
work="$(mktemp -d)"
mkdir -p "$work/served" "$work/saved"
for i in 1 2 3 4 5 6; do
  head -c $((400000 + i * 50000)) /dev/urandom > "$work/served/sample-$i.zip"
done
cat > "$work/shot.sh" <<EOS
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VELMORA_EXE="$build/VelmoraDownloader.exe"
python3 "$top/tests/fixtures/http_fixture.py" --root "$work/served" --log "$work/requests.log" \
  --port-file "$work/port" &
server=\$!
for i in \$(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=\$(cat "$work/port")
for i in 1 2 3 4 5 6; do echo "http://127.0.0.1:\$port/slow=90000/sample-\$i.zip"; done > "$work/urls.txt"
echo "http://127.0.0.1:\$port/status=404/missing.zip" >> "$work/urls.txt"
"$wine" "$driver" "\$("$wine" winepath -w "$work/urls.txt")" "\$("$wine" winepath -w "$work/saved")" 3 >/dev/null 2>&1 &
for i in \$(seq 50); do
  id=\$(xwininfo -root -tree | awk '/"ダウンロード実行中 - Velmora Downloader"/ {print \$1; exit}')
  [ -n "\$id" ] && break
  sleep 0.2
done
[ -n "\$id" ] || { echo "running: the window did not open" >&2; wineserver -k; kill \$server; exit 1; }
sleep 3
import -window "\$id" "$out/running.png"
wineserver -k
kill \$server
EOS
xvfb-run -a -s "-screen 0 1240x800x24" bash "$work/shot.sh"
rm -rf "$work"
echo "$out/running.png"
