#!/usr/bin/env bash
# Makes the release package: build/dist/VelmoraDownloader-<version>-win32.zip holding
# VelmoraDownloader.exe and Readme.txt at its top level. The zip repeats byte for byte for the
# same two files: fixed order, fixed time stamps, fixed permissions, no extra fields.
# Usage: package.sh [--no-build] [--out FOLDER]
#   --no-build    package what the build folder holds now (the program must be built)
#   --out FOLDER  write the zip there instead of <build folder>/dist
# BUILD_DIR selects the build folder (default build/). Prints the path of the zip.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
out=""
build_first=1
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build_first=0 ;;
    --out) out="$2"; shift ;;
    *) echo "usage: $0 [--no-build] [--out FOLDER]" >&2; exit 2 ;;
  esac
  shift
done

if [ "$build_first" = 1 ]; then
  BUILD_DIR="$build" bash "$top/scripts/build.sh" --target VelmoraDownloader >&2
fi
for f in VelmoraDownloader.exe Readme.txt; do
  [ -f "$build/$f" ] || { echo "$build/$f is missing: build the program first" >&2; exit 1; }
done

version="$(sed -n 's/^project(VelmoraDownloader VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")"
[ -n "$version" ] || { echo "no version found in CMakeLists.txt" >&2; exit 1; }
out="$(realpath -m "${out:-$build/dist}")"
zip_path="$out/VelmoraDownloader-$version-win32.zip"
mkdir -p "$out"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cp "$build/VelmoraDownloader.exe" "$build/Readme.txt" "$stage/"
chmod 0644 "$stage/VelmoraDownloader.exe" "$stage/Readme.txt"
# zip stores local time; with TZ fixed the stored stamp is the same on every machine.
export TZ=UTC
touch -d '2026-01-01 00:00:00' "$stage/VelmoraDownloader.exe" "$stage/Readme.txt"
rm -f "$zip_path"
# -X: no extra fields (uid, gid, extended time stamps); -D: no folder entries.
(cd "$stage" && zip -q -X -D -9 "$zip_path" VelmoraDownloader.exe Readme.txt)
echo "$zip_path"
