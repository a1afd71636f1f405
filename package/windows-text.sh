#!/usr/bin/env bash
# Writes a text file as Windows tools expect it: CR LF line ends, and with
# --bom a UTF-8 byte order mark; with --cp1251 converted to Windows-1251.
#   windows-text.sh [--bom|--cp1251] IN OUT
set -euo pipefail
mode=plain
[[ $1 == --* ]] && { mode=${1#--}; shift; }
in=$1 out=$2
{
  [[ $mode == bom ]] && printf '\xEF\xBB\xBF'
  if [[ $mode == cp1251 ]]; then iconv -f UTF-8 -t CP1251 "$in"; else cat "$in"; fi
} | sed 's/\r$//; s/$/\r/' > "$out.part"
mv "$out.part" "$out"
