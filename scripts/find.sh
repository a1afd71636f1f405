#!/usr/bin/env bash
# Sets up, builds and runs versalo-find, the command-line search:
#   scripts/find.sh [ENDING]   (default: та)
# in the current folder when it has a rym.txt, else on Debian's Bulgarian
# word list.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" native
(cd "$root" && cmake --preset native >/dev/null && cmake --build --preset native >/dev/null)
[[ -f rym.txt ]] || cd "$(bash "$root/scripts/wordlist.sh")"
exec "$root/build/native/versalo-find" -- "${1:-та}"
