#!/usr/bin/env bash
# Installs what the build and the tests need on Debian/Ubuntu, only when something is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libhidapi-dev libudev-dev
          googletest libgtest-dev libgmock-dev xvfb xauth fonts-dejavu-core libgl-dev
          dpkg-dev desktop-file-utils appstream file binutils)
# CI's sanitizer pass and fuzz targets need clang and its runtime libraries.
if [ "${CI:-}" = "true" ] || [ -n "${TESSEL_CLANG:-}" ]; then
  packages+=(clang libclang-rt-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
