#!/usr/bin/env bash
# Sets up, builds and starts the Versalo dialog under Wine, in the current
# folder when it has a rym.txt, else on Debian's Bulgarian word list. It runs
# build/win32/versalo.exe, the 32-bit program that the package ships; where
# the kernel runs no 32-bit code, under QEMU's user-mode emulation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" windows
# Both builds, and their zips: build/win32/versalo-*-win32.zip is the package
# to hand to Windows users.
(cd "$root" && for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target all package >/dev/null
done)

if [[ -z ${DISPLAY:-} ]]; then
  cat >&2 <<'MESSAGE'
run: there is no X display (DISPLAY is not set), so the dialog has nowhere to
appear. Run this from a desktop session or over `ssh -X`, or give it a virtual
display and look at it with a VNC viewer:
  sudo apt-get install xvfb x11vnc
  Xvfb :1 -screen 0 1024x768x24 &  x11vnc -display :1 -localhost &
  DISPLAY=:1 bash scripts/run.sh
To search on the command line instead: bash scripts/find.sh ENDING
MESSAGE
  exit 1
fi

[[ -f rym.txt ]] || cd "$(bash "$root/scripts/wordlist.sh")"
source "$root/scripts/wine-env.sh"
wine_runs_32bit
wine_prefix_ready
exe=$root/build/win32/versalo.exe
echo "run: Versalo is searching $(pwd)/rym.txt"
echo "run: $exe runs $(wine_32bit_how)"
status=0
wine "$exe" || status=$?
echo "run: Versalo ended with status $status"
exit "$status"
