#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix: CMake's
# emulator for the Windows builds' tests.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine-env.sh"
if [[ -z ${DISPLAY:-} ]]; then
  echo "wine-run: no X display; run the tests through scripts/test.sh, which starts Xvfb" >&2
  exit 1
fi
wine_prefix_ready
exec "${versalo_wine_command[@]}" "$@"
