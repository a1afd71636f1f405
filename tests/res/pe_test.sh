#!/usr/bin/env bash
# The shipped versalo.exe is a 32-bit PE of the GUI subsystem that imports
# only system DLLs. Checked as a file: without 32-bit Wine it cannot run here.
set -u
export LC_ALL=C  # objdump speaks the locale's language
exe=$1
passed=0 failed=0
expect() {
  if grep -qE "$2" <<<"$3"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi
}
headers=$(i686-w64-mingw32-objdump -p "$exe" 2>&1)
expect "PE32 magic" '^Magic[[:space:]]+010b' "$headers"
expect "GUI subsystem" '^Subsystem[[:space:]]+00000002' "$headers"
expect "i386 machine" 'file format pei-i386' "$headers"
dlls=$(grep 'DLL Name:' <<<"$headers" | awk '{print toupper($3)}' | sort | tr '\n' ' ')
expect "only system DLLs (got: $dlls)" '^KERNEL32.DLL MSVCRT.DLL USER32.DLL $' "$dlls"
echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
