#!/usr/bin/env bash
# Starts the built program in a demo folder with a small local web server, so that pressing
# F5 downloads a handful of sample files at once, without typing a path.
#
# The first time, build/demo/ is made: a copy of the program and its Readme, the settings
# with the four URL files and the save folder filled in, a download list of the sample URLs
# (already loaded into the program's list), empty logs, and the sample files the server
# serves. Later runs keep what is there (settings, list, logs, downloads) and refresh only the
# program and the Readme. Delete build/demo/ to start afresh.
#
# The server is the one the tests use (tests/fixtures/http_fixture.py). It listens on
# 127.0.0.1 (port 8642, or a free one when that is taken; the port is kept with the demo so
# that the list's URLs stay valid), answers Range requests so that a stopped download can be
# resumed, and sends each file at about 320 KB/s so that the progress can be watched. It runs
# while the program runs and stops when the program exits.
#
# Usage: demo.sh   (BUILD_DIR selects the build folder; run.sh builds and calls this)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${BUILD_DIR:-$top/build}" && pwd)"
demo="$build/demo"
web="$demo/web"
port_file="$demo/.demo-port"
user="$(id -un)"  # Wine's user name, which names the per-user files
rate=327680       # bytes per second and connection

[ -f "$build/VelmoraDownloader.exe" ] || { echo "build the program first (scripts/build.sh)" >&2; exit 1; }
bash "$top/scripts/make-prefix.sh" "$build/wineprefix"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Replaces a changed file by a new one rather than rewriting it: a copy of the program that is
# running from the demo folder keeps its own file.
refresh() {
  cmp -s "$1" "$2" && return 0
  cp "$1" "$2.new" && mv -f "$2.new" "$2"
}

first_run=0
[ -f "$port_file" ] || first_run=1
mkdir -p "$demo" "$web"
refresh "$build/VelmoraDownloader.exe" "$demo/VelmoraDownloader.exe"
if [ -f "$build/Readme.txt" ]; then
  refresh "$build/Readme.txt" "$demo/Readme.txt"
fi

if [ "$first_run" = 1 ]; then
  # The sample files: a short text, a picture and a few larger files of fixed content.
  python3 - "$web" <<'PY'
import os, random, struct, sys
web = sys.argv[1]
text = ("Velmora Downloader のデモへようこそ。\r\n"
        "このファイルは、デモ用のサーバー（このパソコンの中で動いています）から\r\n"
        "ダウンロードされました。リストの行をダブルクリックすると、ダウンロードした\r\n"
        "ファイルが開きます。\r\n\r\n")
with open(os.path.join(web, "welcome.txt"), "wb") as out:
    out.write(b"\xef\xbb\xbf" + (text * 8).encode("utf-8"))
# A 24-bit picture of a colour gradient, 512 x 384.
width, height = 512, 384
row = width * 3
pixels = bytearray()
for y in range(height):
    for x in range(width):
        pixels += bytes((x * 255 // width, y * 255 // height, 160))
header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
with open(os.path.join(web, "photo-sample.bmp"), "wb") as out:
    out.write(header + info + pixels)
generator = random.Random(1008)
for megabytes in (1, 2, 3, 6):
    with open(os.path.join(web, f"sample-{megabytes}MB.bin"), "wb") as out:
        out.write(generator.randbytes(megabytes * 1024 * 1024))
PY
fi

# The web server: the tests' HTTP server, answering every path as a file name, Range requests
# included, at a readable pace; started in the background, it writes its port into $3 and
# ends with this script, even when this script is killed.
start_server() {
  local wanted="$1" fallback="$2" out="$3"
  local any=()
  [ "$fallback" = any ] && any=(--any-port)
  python3 -I "$top/tests/fixtures/http_fixture.py" --root "$web" --log "$demo/requests.log" \
    --port "$wanted" "${any[@]}" --every "slow=$rate,lastmod" --port-file "$out" \
    --parent-stop >/dev/null 2>"$demo/server.log" &
  server_pid=$!
}

stop_server() {
  if [ -n "${server_pid:-}" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
trap stop_server EXIT

# Waits until the server has written its port (or has given up).
wait_for_port() {
  local file="$1"
  for _ in $(seq 100); do
    [ -s "$file" ] && return 0
    kill -0 "$server_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

server_pid=""
started="$demo/.server-port"
rm -f "$started"
if [ "$first_run" = 1 ]; then
  start_server "${DEMO_PORT:-8642}" any "$started"
else
  start_server "$(cat "$port_file")" exact "$started"
fi
if wait_for_port "$started"; then
  port="$(cat "$started")"
  echo "demo web server: http://127.0.0.1:$port/ (files in $web)"
else
  stop_server
  if [ "$first_run" = 1 ]; then
    echo "the demo web server did not start; see $demo/server.log" >&2
    exit 1
  fi
  # Most likely the demo is running already with its server: the program then says so.
  echo "port $(cat "$port_file") is in use (is the demo running already?); starting without" \
       "a server of its own" >&2
fi
rm -f "$started"

if [ "$first_run" = 1 ]; then
  # The program's files: settings, download list, empty logs, save folder, and the list.
  mkdir -p "$demo/downloads"
  python3 - "$demo" "$user" "$port" <<'PY'
import os, sys
demo, user, port = sys.argv[1], sys.argv[2], sys.argv[3]

def windows(path):  # Wine shows the Linux root as drive Z:
    return "Z:" + path.replace("/", "\\")

def write_utf16(path, lines):
    with open(path, "wb") as out:
        out.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))

names = ["welcome.txt", "photo-sample.bmp", "sample-1MB.bin", "sample-3MB.bin",
         "sample-6MB.bin", "sample-2MB.bin", "missing-file.zip"]
urls = [f"http://127.0.0.1:{port}/{name}" for name in names]

notes = [
    "Velmora Downloader のデモ用ダウンロードリストです。",
    "URL ではない行（この行のようなメモや空行）は読み飛ばされます。",
    "F5 キーでダウンロードが始まります。最後の URL はわざと存在しないファイルを",
    "指しているので「HTTPエラー：404」になり、エラーログに書き込まれます。",
    "",
]
with open(os.path.join(demo, "list.txt"), "wb") as out:
    out.write(b"\xef\xbb\xbf" + "\r\n".join(notes + urls + [""]).encode("utf-8"))
for log in ("download-log.txt", "cancel-log.txt", "error-log.txt"):
    open(os.path.join(demo, log), "wb").close()

settings = [
    "[TOOLBAR]",
    "DL_LIST=" + windows(os.path.join(demo, "list.txt")),
    "DL_LOG=" + windows(os.path.join(demo, "download-log.txt")),
    "CANCEL_LOG=" + windows(os.path.join(demo, "cancel-log.txt")),
    "ERR_LOG=" + windows(os.path.join(demo, "error-log.txt")),
    "DL_DIR=" + windows(os.path.join(demo, "downloads")),
    "",
]
write_utf16(os.path.join(demo, f"{user} Velmora Downloader.ini"), settings)
# The list as the program keeps it: state | state text | size text | URL, all on standby.
write_utf16(os.path.join(demo, f"{user} Velmora Downloader Lv.txt"),
            [f"0|スタンバイ| ？ Byte|{url}" for url in urls])
PY
  echo "$port" > "$port_file"
  echo "demo folder made: $demo (press F5 in the program to download the samples)"
fi

cd "$demo"
status=0
if [ -n "${DISPLAY:-}" ]; then
  "${VELMORA_WINE:-wine}" VelmoraDownloader.exe || status=$?
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "${VELMORA_WINE:-wine}" VelmoraDownloader.exe || status=$?
fi
exit "$status"
