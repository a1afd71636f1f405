#!/usr/bin/env bash
# Remakes the README's pictures after a search of Debian's Bulgarian word
# list: docs/dialog.png, the shipped 32-bit program under Wine (the 64-bit
# one where no 32-bit program runs), and
# docs/web.png, the web page in headless Chromium. VERSALO_WINE_LOCALE
# picks the Windows code page (en_US.UTF-8: 1252, as on a Western Windows).
#   scripts/screenshot.sh [ENDING]   (default: ище)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh windows web
source scripts/wine-env.sh
build=win32
wine_runs_32bit || build=win64
cmake --preset $build >/dev/null
cmake --build --preset $build --target versalo screenshot >/dev/null
list=$(bash scripts/wordlist.sh)
wine_session
wine build/$build/tools/screenshot.exe build/$build/versalo.exe "$list" "${1:-ище}" build/$build/dialog.bmp
convert build/$build/dialog.bmp -strip docs/dialog.png
echo "screenshot: docs/dialog.png ($build build, Wine at $versalo_wine_locale)"
cmake --preset wasm >/dev/null
cmake --build --preset wasm --target site >/dev/null
node tools/web_screenshot.mjs build/wasm/site "${1:-ище}" docs/web.png
echo "screenshot: docs/web.png"
