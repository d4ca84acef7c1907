#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrel needs to build, run and test, when
# any is missing. Non-interactive; needs root (or sudo) only when installing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  xorriso genisoimage libarchive-tools growisofs
  qemu-system-x86 ovmf dosfstools mtools systemd-boot-efi
  xvfb xauth
  desktop-file-utils
)
# The sanitized build of the test command (KESTREL_SANITIZE=1) needs clang.
[ "${KESTREL_SANITIZE:-0}" = 1 ] && PACKAGES+=(clang libclang-rt-14-dev)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
