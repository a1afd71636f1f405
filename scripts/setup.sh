#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages.
# Idempotent, and silent when everything is already there.
#   setup.sh [native] [windows] [web] [bench]   (default: native, windows, web)
set -euo pipefail

native=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest time
        libbenchmark-dev wbulgarian file)
# wine32:i386 runs the shipped 32-bit program; it needs the i386 architecture.
# The fonts: Liberation Sans is what Wine draws the dialog in here; Droid
# Sans Fallback, with almost no Cyrillic, is the tests' font that cannot.
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 xvfb imagemagick
         icoutils locales googletest wbulgarian file unzip fonts-liberation fonts-droid-fallback)
# The web page: the core as WebAssembly, zopfli for the list's gzip,
# esbuild to minify its scripts, and the browsers its tests drive.
web=(emscripten zopfli esbuild chromium firefox-esr nodejs wbulgarian)
# What bench/run compares versalo-find with, and measures it by.
bench=(grep ripgrep ugrep time)

as_root() {
  if [[ $(id -u) == 0 ]]; then "$@"; else sudo "$@"; fi
}

# Stops setup with what failed and what to run by hand.
fail() {
  echo "setup: $1 failed." >&2
  echo "setup: run it by hand to see why, then run this command again:" >&2
  echo "  $2" >&2
  exit 1
}

# Runs a command with its output kept back, and shown only if it fails:
# apt's notes on a machine's first install are no news to the user.
quietly() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  ((status == 0)) || cat "$log" >&2
  rm -f "$log"
  return "$status"
}

install_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "setup: installing ${missing[*]}"
  if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386 || fail "adding the i386 architecture" \
      "sudo dpkg --add-architecture i386"
  fi
  quietly as_root apt-get update -qq || fail "apt-get update" "sudo apt-get update"
  quietly as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" ||
    fail "installing ${missing[*]}" "sudo apt-get install ${missing[*]}"
}

# Wine takes its ANSI code page from the locale: bg_BG.UTF-8 gives 1251,
# the word list's; the Windows tests also run at 1252 (en_US.UTF-8) and 932
# (ja_JP.UTF-8), as on a Western and a Japanese Windows.
wine_locales=(bg_BG en_US ja_JP)
ensure_wine_locales() {
  local have missing=() name
  have=$(locale -a 2>/dev/null)
  for name in "${wine_locales[@]}"; do
    grep -qix "$name.utf8" <<<"$have" || missing+=("$name")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "setup: generating the locales ${missing[*]/%/.UTF-8}"
  for name in "${missing[@]}"; do
    as_root sed -i "s/^# *\($name.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  done
  as_root locale-gen >/dev/null
}

# The browser tests' client for Chromium, from the npm registry, as the
# lock file names it; again only when the lock file has changed.
ensure_node_modules() {
  command -v npm >/dev/null || install_packages npm
  local root stamp
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  stamp=$root/node_modules/.versalo-lock
  [[ -f $stamp ]] && cmp -s "$stamp" "$root/package-lock.json" && return 0
  echo "setup: installing the browser tests' node modules"
  (cd "$root" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
    fail "npm ci" "cd $root && npm ci"
  cp "$root/package-lock.json" "$stamp"
}

# Where the kernel runs no 32-bit code (its IA-32 emulation is off), 32-bit
# Wine runs under QEMU's user-mode emulator, which scripts/run-i386.sh hands
# i386 programs to, one command at a time. Bookworm's qemu-user (7.2) cannot
# lay out Wine's address space; the one in bookworm-backports (10) can, so
# that suite is added for this one package, and nothing else is taken from
# it (backports are never chosen unless asked for by name). Its recommended
# qemu-user-binfmt is left out: it would send every i386 program on the
# machine to QEMU.
qemu_i386=/usr/bin/qemu-i386
runs_i386_natively() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}
qemu_i386_fit() {
  [[ -x $qemu_i386 ]] && (($("$qemu_i386" --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p') >= 10))
}
ensure_i386_emulator() {
  runs_i386_natively || qemu_i386_fit && return 0
  echo "setup: this machine's kernel runs no 32-bit programs, so 32-bit Wine will run"
  echo "setup: under QEMU's user-mode emulation: installing qemu-user from bookworm-backports"
  local list=/etc/apt/sources.list.d/versalo-bookworm-backports.sources
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    as_root tee "$list" >/dev/null <<'SOURCES' || fail "adding bookworm-backports" "sudo tee $list"
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  fi
  quietly as_root apt-get update -qq || fail "apt-get update" "sudo apt-get update"
  quietly as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends qemu-user/bookworm-backports ||
    fail "installing qemu-user from bookworm-backports" \
      "sudo apt-get install --no-install-recommends qemu-user/bookworm-backports"
  qemu_i386_fit || fail "installing QEMU 10's qemu-i386" \
    "sudo apt-get install --no-install-recommends qemu-user/bookworm-backports"
}

groups=("$@")
((${#groups[@]} > 0)) || groups=(native windows web)
for group in "${groups[@]}"; do
  case $group in
    native) install_packages "${native[@]}" ;;
    windows) install_packages "${windows[@]}"; ensure_wine_locales; ensure_i386_emulator ;;
    web) install_packages "${web[@]}"; ensure_node_modules ;;
    bench) install_packages "${bench[@]}" ;;
    *) echo "setup: unknown group $group" >&2; exit 2 ;;
  esac
done
