#!/usr/bin/env bash
# Remakes docs/dialog.png, the README's picture: the dialog under Wine after
# a search of Debian's Bulgarian word list, in the shipped 32-bit program.
#   scripts/screenshot.sh [ENDING]   (default: ище)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh windows
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target versalo screenshot >/dev/null
list=$(bash scripts/wordlist.sh)
source scripts/wine-env.sh
wine_session
wine build/win32/tools/screenshot.exe build/win32/versalo.exe "$list" "${1:-ище}" build/win32/dialog.bmp
convert build/win32/dialog.bmp -strip docs/dialog.png
echo "screenshot: docs/dialog.png"
