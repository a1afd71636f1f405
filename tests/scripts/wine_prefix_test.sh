#!/usr/bin/env bash
# A Wine prefix made before 32-bit Wine was installed has an empty 32-bit
# system folder and starts no program at all (status 53), whatever mark it
# carries. wine_prefix_ready remakes such a prefix, and 32-bit programs run
# in it afterwards.
set -u
export VERSALO_WINEPREFIX
VERSALO_WINEPREFIX=$(mktemp -d)/prefix
source "$(dirname "$0")/../../scripts/wine-env.sh"
trap 'wineserver -k 2>/dev/null; rm -rf "$(dirname "$VERSALO_WINEPREFIX")"' EXIT

source "$(dirname "$0")/../support/checks.sh"
runs_32bit() {
  [[ $(wine 'C:\windows\syswow64\cmd.exe' /c echo ran 2>/dev/null </dev/null | tr -d '\r') == ran ]]
}

wine_prefix_ready 2>/dev/null
check "a new prefix runs 32-bit programs" runs_32bit
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
# What a prefix made without 32-bit Wine looks like, with its ready mark.
rm -rf "$WINEPREFIX/drive_c/windows/syswow64/"*
wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
status=$?
check "the stale prefix starts nothing (status $status)" test "$status" = 53
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
said=$(wine_prefix_ready 2>&1)
check "the stale prefix is remade (said: $said)" grep -q "remaking" <<<"$said"
check "the remade prefix runs 32-bit programs" runs_32bit
said=$(wine_prefix_ready 2>&1)
check "a fit prefix is kept, in silence (said: $said)" test -z "$said"

finish
