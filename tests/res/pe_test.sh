#!/usr/bin/env bash
# A built versalo.exe is a PE of its build's architecture and of the GUI
# subsystem, and imports only system DLLs, so it starts on a bare Windows.
# The 32-bit one, the one shipped, asks for Windows 4.0 in its header and
# imports only what Windows XP SP3 has (xp_imports.txt beside this script).
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
expect "only system DLLs (got: $dlls)" '^GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL $' "$dlls"
if [[ $arch == win32 ]]; then
  expect "subsystem version 4.0" '^MajorSubsystemVersion[[:space:]]+4$' "$headers"
  expect "operating system version 4.0" '^MajorOSystemVersion[[:space:]]+4$' "$headers"
  # Each imported function as "DLL Function", against the allowed ones.
  imports=$(awk '/DLL Name:/ {dll = toupper($3)}
                 /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ && dll {print dll, $3}' <<<"$headers" | sort)
  allowed=$(grep -v '^#' "$(dirname "$0")/xp_imports.txt" | sort)
  beyond_xp=$(comm -23 <(echo "$imports") <(echo "$allowed") | tr '\n' ' ')
  check "imports $(wc -l <<<"$imports") functions" test "$(wc -l <<<"$imports")" -gt 50
  check "imports nothing Windows XP lacks (not allowed: $beyond_xp)" test -z "$beyond_xp"
fi
finish
