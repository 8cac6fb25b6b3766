#!/usr/bin/env bash
# What a user gets besides the program: Readme.txt beside the built VelmoraDownloader.exe,
# readable in Notepad (UTF-8 or UTF-16LE with a byte order mark, CR LF line ends), for this
# version, explaining every item of the main menu; and the release zip from
# scripts/package.sh, holding exactly the program and the Readme and repeating byte for byte.
# Usage: readme_and_package.sh <built VelmoraDownloader.exe> <source folder>
set -euo pipefail
exe="$1"
src="$2"
build="$(cd "$(dirname "$exe")" && pwd)"
readme="$build/Readme.txt"
fail() { echo "FAIL: $*"; exit 1; }

[ -f "$readme" ] || fail "no Readme.txt beside $exe"
cmp -s "$readme" "$src/docs/Readme.txt" || fail "Readme.txt beside the program is not docs/Readme.txt"

python3 - "$readme" "$src/CMakeLists.txt" "$src/res/velmora.rc" <<'PY'
import re, sys

readme_path, cmake_path, rc_path = sys.argv[1:4]
def fail(message):
    print("FAIL: " + message)
    sys.exit(1)

data = open(readme_path, "rb").read()
try:
    if data.startswith(b"\xef\xbb\xbf"):
        text = data[3:].decode("utf-8")
    elif data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le")
    else:
        fail("Readme.txt starts without a byte order mark (Notepad may guess another code page)")
except UnicodeDecodeError as error:
    fail(f"Readme.txt is not valid in the encoding its mark names: {error}")
if "\ufeff" in text:
    fail("a second byte order mark inside Readme.txt")
for number, line in enumerate(text.split("\r\n"), 1):
    if "\r" in line or "\n" in line:
        fail(f"line {number} of Readme.txt does not end with CR LF")
    if any(ord(c) < 0x20 and c != "\t" for c in line):
        fail(f"line {number} of Readme.txt holds a control character")

version = re.search(r"project\(VelmoraDownloader VERSION ([0-9.]+)", open(cmake_path).read())[1]
if version not in text:
    fail(f"Readme.txt does not name version {version}")

# Every menu item and submenu, as the user reads it: without the access key and the shortcut.
rc = open(rc_path, encoding="utf-8").read()
menu = rc[rc.index("VLMR_DL_MENU MENU"):]
menu = menu[:menu.index("\nEND\n") + 5]
missing = []
for label in re.findall(r'(?:MENUITEM|POPUP)\s+"([^"]+)"', menu):
    label = re.sub(r"\(&.\)|\.\.\.|\\t.*$", "", label).strip()
    if label not in text:
        missing.append(label)
if missing:
    fail("Readme.txt does not explain these menu items: " + ", ".join(missing))
print(f"Readme.txt: {len(data)} bytes, version {version}, every menu item explained")
PY

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
BUILD_DIR="$build" bash "$src/scripts/package.sh" --no-build --out "$out/first" >/dev/null
BUILD_DIR="$build" bash "$src/scripts/package.sh" --no-build --out "$out/second" >/dev/null
zips=("$out"/first/*.zip)
[ ${#zips[@]} = 1 ] && [ -f "${zips[0]}" ] || fail "package.sh made no zip (or more than one)"
zip_name="$(basename "${zips[0]}")"
cmp -s "$out/first/$zip_name" "$out/second/$zip_name" || fail "two packagings of the same files differ"

python3 - "$out/first/$zip_name" "$exe" "$readme" <<'PY'
import sys, zipfile
zip_path, exe, readme = sys.argv[1:4]
def fail(message):
    print("FAIL: " + message)
    sys.exit(1)
with zipfile.ZipFile(zip_path) as package:
    names = package.namelist()
    if sorted(names) != ["Readme.txt", "VelmoraDownloader.exe"]:
        fail(f"the zip holds {names}, not exactly VelmoraDownloader.exe and Readme.txt")
    if package.testzip() is not None:
        fail("the zip is damaged")
    for name, path in (("VelmoraDownloader.exe", exe), ("Readme.txt", readme)):
        if package.read(name) != open(path, "rb").read():
            fail(f"{name} in the zip is not the built file")
print(f"{zip_path.rsplit('/', 1)[1]}: {names}, repeatable")
PY
