#!/usr/bin/env bash
# Lighthouse 12.2.3 (the last that runs on this node) on the page, served
# from 127.0.0.1, as a phone and as a desktop: each category's score, and
# every audit that kept one under 100. Lighthouse is installed once into
# build/lighthouse, outside the project's own packages, and drives Debian's
# Chromium.
#   bash bench/lighthouse.sh [SITE]   (default: build/wasm/site)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
site=${1:-$root/build/wasm/site}
tools=$root/build/lighthouse
if [ ! -e "$tools/node_modules/lighthouse/cli/index.js" ]; then
  mkdir -p "$tools"
  (cd "$tools" && echo '{"private": true}' > package.json &&
   npm install --save-exact --no-audit --no-fund lighthouse@12.2.3 >/dev/null)
fi
log=$(mktemp)
node "$root/web/serve.mjs" "$site" 0 >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$log" "$log".*.json' EXIT
until url=$(grep -o 'http://[^ ]*' "$log"); do sleep 0.1; done
for form in mobile desktop; do
  preset=()
  [ "$form" = desktop ] && preset=(--preset=desktop)
  CHROME_PATH=${CHROMIUM:-/usr/bin/chromium} node "$tools/node_modules/lighthouse/cli/index.js" "$url" \
    "${preset[@]}" --quiet --output=json --output-path="$log.$form.json" \
    --chrome-flags="--headless=new --no-sandbox --disable-gpu --no-first-run"
  python3 - "$form" "$log.$form.json" <<'PY'
import json, sys
form, path = sys.argv[1:]
report = json.load(open(path))
scores = ", ".join("%s %d" % (category["title"], round(category["score"] * 100))
                   for category in report["categories"].values())
print("lighthouse %s, %s: %s" % (report["lighthouseVersion"], form, scores))
for category in report["categories"].values():
    for ref in category["auditRefs"]:
        audit = report["audits"][ref["id"]]
        if ref["weight"] > 0 and audit["score"] is not None and audit["score"] < 1:
            print("  %s: %s %s" % (category["title"], audit["id"], audit.get("displayValue", "")))
PY
done
