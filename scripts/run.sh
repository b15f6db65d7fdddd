#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on the built-in
# simulated sensor: port 1 of the demo data folder is mapped to SIMULATOR.
# Extra arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

BUILD=build
DATA="$BUILD/demo-data"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" --target ORA2ORB2 CRC16 -j "$(nproc)"

mkdir -p "$DATA"
if [ ! -f "$DATA/KOV.ini" ]; then
  cat > "$DATA/KOV.ini" <<'INI'
[GENERAL]
Comport=1
Baudrate=38400
Language=1
[PORTS]
1=SIMULATOR
INI
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: start it from a desktop session (or set QT_QPA_PLATFORM)." >&2
  exit 1
fi
echo "Start dialog: press OK. Main window: press Start for values and the chart."
exec "./$BUILD/bin/ORA2ORB2" --data-dir "$DATA" "$@"
