#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# and any further packages named on the command line (scripts/deps.sh NAME...).
# apt runs only when something is missing, so repeated runs are quick.
set -euo pipefail
PACKAGES=(
  # the build: Qt (moc, Widgets, PrintSupport; OpenGL headers for Qt's Gui)
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # the tests' independent checksum; unit tests; benchmarks (bench/)
  libboost-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the window benchmark under a virtual display (xvfb-run)
  xvfb xauth
  # the Windows part (scripts/test-windows.sh)
  g++-mingw-w64-x86-64-posix wine64
  # the package: Qt's own translations, icons, man page; its checks (scripts/test-package.sh)
  qt6-translations-l10n librsvg2-bin help2man lintian desktop-file-utils appstream debootstrap
  # the device server of the network port tests
  ser2net
  mosquitto mosquitto-clients libmosquitto-dev
  "$@"
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
