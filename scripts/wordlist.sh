#!/usr/bin/env bash
# Makes build/wordlist/rym.txt once, from Debian's Bulgarian word list in
# Windows-1251, and prints its folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/wordlist
if [[ ! -f $dir/rym.txt ]]; then
  mkdir -p "$dir"
  iconv -f UTF-8 -t CP1251 /usr/share/dict/bulgarian > "$dir/rym.txt.part"
  mv "$dir/rym.txt.part" "$dir/rym.txt"
fi
echo "$dir"
