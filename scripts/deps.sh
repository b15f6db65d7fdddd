#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# apt runs only when something is missing, so repeated runs are quick.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-tools-dev libgl-dev
  libboost-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  socat xvfb xauth
  g++-mingw-w64-x86-64-posix wine64
  qt6-translations-l10n librsvg2-bin help2man lintian desktop-file-utils appstream debootstrap
  ser2net
  mosquitto mosquitto-clients libmosquitto-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
