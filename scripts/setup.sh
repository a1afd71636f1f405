#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages.
# Idempotent, and silent when everything is already there.
#   setup.sh [native] [windows] [bench]   (default: native and windows)
set -euo pipefail

native=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest time
        libbenchmark-dev wbulgarian file)
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb imagemagick icoutils
         locales googletest wbulgarian file unzip)
# What bench/run compares versalo-find with, and measures it by.
bench=(grep ripgrep ugrep time)

as_root() {
  if [[ $(id -u) == 0 ]]; then "$@"; else sudo "$@"; fi
}

install_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Wine takes its ANSI code page from the locale: bg_BG.UTF-8 gives 1251.
ensure_bulgarian_locale() {
  locale -a 2>/dev/null | grep -qix 'bg_BG.utf8' && return 0
  echo "setup: generating the bg_BG.UTF-8 locale"
  as_root sed -i 's/^# *\(bg_BG.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  as_root locale-gen >/dev/null
}

groups=("$@")
((${#groups[@]} > 0)) || groups=(native windows)
for group in "${groups[@]}"; do
  case $group in
    native) install_packages "${native[@]}" ;;
    windows) install_packages "${windows[@]}"; ensure_bulgarian_locale ;;
    bench) install_packages "${bench[@]}" ;;
    *) echo "setup: unknown group $group" >&2; exit 2 ;;
  esac
done
