#!/usr/bin/env bash
# Remakes the README's pictures after a search of Debian's Bulgarian word
# list: docs/dialog.png, the shipped 32-bit program under Wine (emulated
# where the kernel runs no 32-bit code); docs/web.png, the web page in
# headless Chromium; and docs/web-phone.png, a word's closest rhymes on a
# phone. VERSALO_WINE_LOCALE picks the Windows code page (en_US.UTF-8: 1252,
# as on a Western Windows).
#   scripts/screenshot.sh [ENDING [WORD]]   (default: ище гробище)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh windows web
source scripts/wine-env.sh
wine_runs_32bit
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target versalo_program screenshot >/dev/null
list=$(bash scripts/wordlist.sh)
wine_session
wine build/win32/tools/screenshot.exe build/win32/versalo.exe "$list" "${1:-ище}" build/win32/dialog.bmp
convert build/win32/dialog.bmp -strip docs/dialog.png
echo "screenshot: docs/dialog.png (the 32-bit build, run $(wine_32bit_how), Wine at $versalo_wine_locale)"
cmake --preset wasm >/dev/null
cmake --build --preset wasm --target site >/dev/null
node tools/web_screenshot.mjs build/wasm/site "${1:-ище}" docs/web.png "${2:-гробище}" docs/web-phone.png
echo "screenshot: docs/web.png, docs/web-phone.png"
