#!/usr/bin/env bash
# run-i386.sh runs 32-bit programs for its own command only: inside it an
# i386 program runs, while the rest of the machine, at the same moment and
# after it, still runs none, and the machine's own binfmt_misc gains no
# entry. Only where the kernel runs no 32-bit code (exit 77 elsewhere).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/support/checks.sh"
i386=/usr/lib/wine/wine  # any i386 ELF program; this one says its version
if "$i386" --version >/dev/null 2>&1; then
  echo "this kernel runs 32-bit programs itself: nothing to emulate"
  exit 77
fi

said=$(bash "$root/scripts/run-i386.sh" "$i386" --version 2>&1)
check "an i386 program runs inside (said: $said)" grep -q '^wine-' <<<"$said"
# The same while a command inside is still running, and after it.
bash "$root/scripts/run-i386.sh" bash -c "$i386 --version >/dev/null && sleep 3" &
inside=$!
sleep 1
check "a program outside runs no i386 code meanwhile" bash -c "! '$i386' --version"
wait "$inside"
check "the command inside ran its i386 program" test $? = 0
check "a program outside runs no i386 code after" bash -c "! '$i386' --version"
check "the machine's binfmt_misc has no entry of ours" \
  bash -c '! ls /proc/sys/fs/binfmt_misc/ 2>/dev/null | grep -q versalo'
check "the command's status comes back" bash -c \
  "bash '$root/scripts/run-i386.sh' bash -c 'exit 7'; test \$? = 7"

finish
