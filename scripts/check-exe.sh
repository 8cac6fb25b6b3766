#!/usr/bin/env bash
# Checks the shipped program file: PE32 for i386, GUI subsystem, and imports from Windows
# system DLLs only (a static build needs no mingw runtime DLL beside it).
set -euo pipefail
exe="$1"
dump=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "FAIL: $*"; exit 1; }

grep -q 'file format pei-i386' <<<"$dump" || fail "not a PE32 i386 image"
grep -Eq '^Magic[[:space:]]+010b' <<<"$dump" || fail "optional header is not PE32"
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$dump" || fail "not the Windows GUI subsystem"

allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|advapi32|wininet|ws2_32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "no import table found"
while read -r dll; do
  grep -Eq "$allowed" <<<"$dll" || fail "imports a DLL that is not part of Windows: $dll"
done <<<"$imports"
echo "PE32 i386 GUI; imports: $(echo $imports)"
