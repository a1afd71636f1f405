#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages.
# Idempotent, and silent when everything is already there.
set -euo pipefail

native=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev wbulgarian)

sudo_if_needed() {
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
  sudo_if_needed apt-get update -qq
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_packages "${native[@]}"
