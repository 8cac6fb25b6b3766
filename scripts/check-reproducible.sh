#!/usr/bin/env bash
# Checks that the same sources always give the same program: copies the sources to two
# folders of different paths, builds the program in each from scratch into build folders of
# different paths, and compares the two VelmoraDownloader.exe files and the two release zips
# byte for byte. Prints the result; exits 0 when both pairs are identical, 1 otherwise.
# Usage: check-reproducible.sh [--keep]   (--keep leaves the temporary folder for a look)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
keep=0
[ "${1:-}" = "--keep" ] && keep=1

work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-repro.XXXXXX")"
if [ "$keep" = 0 ]; then
  trap 'rm -rf "$work"' EXIT
fi
# Different lengths and names, so that no path can hide in the output unnoticed.
src_one="$work/one/src"
src_two="$work/the-second-copy/sources/velmora"
build_one="$work/one/build"
build_two="$work/elsewhere/b2"

# One snapshot of the working tree (tracked files and new ones not ignored), copied twice:
# both builds see exactly the same text even while the tree is being edited.
mkdir -p "$src_one" "$src_two"
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$top" ls-files -z --cached --others --exclude-standard |
    (cd "$top" && xargs -0 cp --parents -t "$src_one" -- 2>/dev/null || true)
else
  tar -C "$top" --exclude='./build' --exclude='./build-*' --exclude='./.git' -cf - . |
    tar -C "$src_one" -xf -
fi
cp -a "$src_one/." "$src_two/"

build() {
  local src="$1" dir="$2"
  echo "building in $dir" >&2
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
        -DVELMORA_TESTS=OFF >/dev/null
  cmake --build "$dir" --target VelmoraDownloader >/dev/null
  BUILD_DIR="$dir" bash "$src/scripts/package.sh" --no-build >/dev/null
}
build "$src_one" "$build_one"
build "$src_two" "$build_two"

status=0
compare() {
  local name="$1" a="$2" b="$3"
  if cmp -s "$a" "$b"; then
    echo "$name: identical ($(sha256sum "$a" | cut -c1-16)…, $(stat -c %s "$a") bytes)"
  else
    echo "$name: DIFFERENT"
    cmp "$a" "$b" | head -1 || true
    status=1
  fi
}
zip_name="$(basename "$(ls "$build_one"/dist/*.zip)")"
compare VelmoraDownloader.exe "$build_one/VelmoraDownloader.exe" "$build_two/VelmoraDownloader.exe"
compare "$zip_name" "$build_one/dist/$zip_name" "$build_two/dist/$zip_name"
if [ "$status" = 0 ]; then
  echo "reproducible: two clean builds in different folders gave the same files"
else
  echo "NOT reproducible (folders kept in $work with --keep)"
fi
exit "$status"
