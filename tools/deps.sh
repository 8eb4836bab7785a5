#!/usr/bin/env bash
# Installs the Debian packages that building and testing mervik need, only those missing.
# Works as root or through sudo; never asks a question, so it runs without a terminal.
set -euo pipefail

packages=(cmake make g++ pkg-config libhpdf-dev zlib1g-dev nettle-dev googletest libgtest-dev libqpdf-dev qpdf
          poppler-utils clang libclang-rt-14-dev ghdl-common groff-base dpkg-dev lintian "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Another install may hold the package lock (parallel builds): wait for it rather than fail.
lock=(-o DPkg::Lock::Timeout=900)
$sudo apt-get "${lock[@]}" update -qq
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" </dev/null
