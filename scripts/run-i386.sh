#!/usr/bin/env bash
# Runs a command in which 32-bit x86 programs run, on a machine whose kernel
# runs none itself (its IA-32 emulation is off: every i386 exec fails with
# "Exec format error"):
#   run-i386.sh COMMAND [ARG...]
# The command gets a user and mount namespace of its own, with a binfmt_misc
# of its own (Linux 6.7 and later keep one per user namespace) that hands
# i386 ELF programs to QEMU's user-mode emulator. Only that command and what
# it starts see the entry: the machine's own binfmt_misc is never written,
# so nothing else on the machine starts running i386 code through QEMU.
# Setup installs the emulator (qemu-user 10 from bookworm-backports; the
# 7.2 in bookworm itself cannot lay out Wine's address space).
set -euo pipefail
qemu=/usr/bin/qemu-i386

if [[ ${1:-} != --inside ]]; then
  if [[ ! -x $qemu ]]; then
    echo "run-i386: $qemu is missing (bash scripts/setup.sh windows installs it)" >&2
    exit 127
  fi
  # Root inside the namespace is the caller outside it: the files it makes
  # are the caller's.
  exec unshare --user --map-root-user --mount --propagation private \
    "$BASH" "${BASH_SOURCE[0]}" --inside "$@"
fi
shift
binfmt=/proc/sys/fs/binfmt_misc
if ! mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
  echo "run-i386: cannot mount a binfmt_misc of this namespace's own (it needs Linux 6.7 or later)" >&2
  exit 126
fi
# i386 ELF executables and shared objects, by their header; F: the
# emulator is opened now, so it need not be visible from where a program
# runs. The kernel reads the \x escapes itself.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf '%s' ":versalo-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register"
exec "$@"
