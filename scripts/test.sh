#!/usr/bin/env bash
# Sets up, builds and runs every test: the core and versalo-find natively and
# under AddressSanitizer and UndefinedBehaviorSanitizer; the reader's fuzzer
# for a minute (VERSALO_FUZZ_SECONDS); the core as WebAssembly under node and
# the web page in headless Chromium; then the Windows program, built for 32
# bits (the one shipped) and 64 bits, each with all its tests under Wine. Where
# the kernel runs no 32-bit code, 32-bit Wine runs under QEMU's user-mode
# emulation (scripts/run-i386.sh), and the output says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh native windows web

for preset in native asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== fuzz"
cmake --preset fuzz -DVERSALO_FUZZ_SECONDS="${VERSALO_FUZZ_SECONDS:-60}" >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

echo "== wasm (core under node, page in Chromium)"
cmake --preset wasm >/dev/null
cmake --build --preset wasm
ctest --preset wasm

echo "== win32, win64 (under Wine)"
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target all package
done
source scripts/wine-env.sh
wine_session
# The shipped 32-bit program runs every test, natively or under emulation;
# a machine where it cannot run at all fails the run, saying why.
win32_runs=1
wine_runs_32bit || win32_runs=0
if ((win32_runs)); then
  echo "== win32 tests (under Wine; 32-bit programs run $(wine_32bit_how))"
  ctest --preset win32
fi
echo "== win64 tests (under Wine)"
ctest --preset win64
if ((!win32_runs)); then
  echo "== win32: the shipped program was not tested (see why above)" >&2
  exit 1
fi

shot=build/win32/screenshots/dialog
if [[ -f $shot.bmp ]]; then
  convert "$shot.bmp" "$shot.png" && echo "screenshot of the dialog: $shot.png"
fi
