#!/usr/bin/env bash
# Sets up, builds and runs versalo-find on the Bulgarian word list:
#   scripts/run.sh [ENDING]   (default: та)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
(cd "$root" && cmake --preset native >/dev/null && cmake --build --preset native >/dev/null)

list_dir=$root/build/wordlist
if [[ ! -f $list_dir/rym.txt ]]; then
  mkdir -p "$list_dir"
  iconv -f UTF-8 -t CP1251 /usr/share/dict/bulgarian > "$list_dir/rym.txt.part"
  mv "$list_dir/rym.txt.part" "$list_dir/rym.txt"
fi
# The current folder's own rym.txt wins.
[[ -f rym.txt ]] || cd "$list_dir"
exec "$root/build/native/versalo-find" -- "${1:-та}"
