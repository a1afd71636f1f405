#!/usr/bin/env bash
# A built versalo.exe is a PE of its build's architecture and of the GUI
# subsystem, and imports only system DLLs, so it starts on a bare Windows.
#   pe_test.sh EXE win32|win64
set -u
export LC_ALL=C  # objdump speaks the locale's language
exe=$1 arch=$2
source "$(dirname "$0")/../support/checks.sh"
# expect NAME PATTERN TEXT: TEXT has a line that matches PATTERN.
expect() { check "$1" grep -qE "$2" <<<"$3"; }
case $arch in
  win32) objdump=i686-w64-mingw32-objdump magic=010b format=pei-i386 ;;
  win64) objdump=x86_64-w64-mingw32-objdump magic=020b format=pei-x86-64 ;;
  *) echo "pe_test: unknown architecture $arch" >&2; exit 2 ;;
esac
headers=$("$objdump" -p "$exe" 2>&1)
expect "$arch magic $magic" "^Magic[[:space:]]+$magic" "$headers"
expect "$format file format" "file format $format\$" "$headers"
expect "GUI subsystem" '^Subsystem[[:space:]]+00000002' "$headers"
dlls=$(grep 'DLL Name:' <<<"$headers" | awk '{print toupper($3)}' | sort | tr '\n' ' ')
expect "only system DLLs (got: $dlls)" '^KERNEL32.DLL MSVCRT.DLL USER32.DLL $' "$dlls"
finish
