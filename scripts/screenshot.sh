#!/usr/bin/env bash
# Remakes the README's pictures after a search of Debian's Bulgarian word
# list: docs/dialog.png, the shipped 32-bit program under Wine, and
# docs/web.png, the web page in headless Chromium.
#   scripts/screenshot.sh [ENDING]   (default: ище)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh windows web
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target versalo screenshot >/dev/null
list=$(bash scripts/wordlist.sh)
source scripts/wine-env.sh
wine_session
wine build/win32/tools/screenshot.exe build/win32/versalo.exe "$list" "${1:-ище}" build/win32/dialog.bmp
convert build/win32/dialog.bmp -strip docs/dialog.png
echo "screenshot: docs/dialog.png"
cmake --preset wasm >/dev/null
cmake --build --preset wasm --target site >/dev/null
node tools/web_screenshot.mjs build/wasm/site "${1:-ище}" docs/web.png
echo "screenshot: docs/web.png"
