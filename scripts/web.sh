#!/usr/bin/env bash
# Sets up, builds and serves the web page on 127.0.0.1:
#   scripts/web.sh [PORT]   (default: a free port; the address is printed)
# What it serves is one folder of static files, build/wasm/site, which any
# static web host serves as it is, under any path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" web
(cd "$root" && cmake --preset wasm >/dev/null && cmake --build --preset wasm --target site >/dev/null)
echo "web: serving $root/build/wasm/site"
exec node "$root/web/serve.mjs" "$root/build/wasm/site" "${1:-0}"
