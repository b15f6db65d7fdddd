#!/usr/bin/env bash
# The command-line tool on a network port against the same tool on a local
# port: CPU share of `ora2orb2-cli monitor` at 38400 bit/s in BINARY+CRC,
# through the simulated sensor's pseudo-terminal directly and through
# Debian's ser2net on the loopback address (raw and RFC 2217 accepters in
# front of the same pseudo-terminal), once at the sensor's default averaging
# and once with the sensor sending as fast as the line allows; and the time
# from the start of the tool to its first value.
#   bench/link/network_cpu.sh [BUILD_DIR] [SECONDS]   (default: build, 30)
set -euo pipefail
BIN=$(cd "${1:-build}/bin" && pwd)
SECONDS_EACH=${2:-30}
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

listening() { grep -qi ":$(printf %04X "$1") [0-9A-F:]* 0A " /proc/net/tcp; }
free_port() {
  local p
  for _ in $(seq 100); do
    p=$((20000 + RANDOM % 40000))
    listening "$p" || { echo "$p"; return 0; }
  done
  return 1
}

"$BIN/ora2orb2-sim" --link "$work/ttySIM" --format 3 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/ttySIM" ] && break; sleep 0.05; done

raw=$(free_port)
rfc=$(free_port)
cat >"$work/ser2net.yaml" <<EOF
%YAML 1.1
---
connection: &raw
  accepter: tcp,127.0.0.1,$raw
  connector: serialdev,$work/ttySIM,38400n81,local
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc
  connector: serialdev,$work/ttySIM,38400n81,local
EOF
ser2net -n -d -u -c "$work/ser2net.yaml" >"$work/ser2net.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do listening "$raw" && listening "$rfc" && break; sleep 0.05; done

cli() { "$BIN/ora2orb2-cli" "$@" --baud 38400 --data-dir "$work" --quiet; }
# The same device for ser2net's other accepter is free a moment after a client left.
settle() { sleep 0.3; }

# CPU share of one core over the whole run of the tool (start, connect, monitor, stop).
measure() {
  local name=$1 device=$2 t rows
  t=$( { TIMEFORMAT='%3U %3S %3R'; time cli monitor --device "$device" --duration "$SECONDS_EACH" >"$work/rows.csv" 2>/dev/null; } 2>&1 )
  rows=$(($(wc -l <"$work/rows.csv") - 1))
  awk -v n="$name" -v t="$t" -v rows="$rows" 'BEGIN {
    split(t, a, " "); printf "  %-9s %6.3f %% of one core  (%d rows in %.1f s)\n", n, 100 * (a[1] + a[2]) / a[3], rows, a[3] }'
  settle
}

first_value() {
  local name=$1 device=$2 start
  start=$(date +%s.%N)
  cli monitor --device "$device" --count 1 >/dev/null
  awk -v n="$name" -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "  %-9s %.2f s\n", n, b - a }'
  settle
}

local_dev="$work/ttySIM"
echo "start of the tool to its first value (BINARY+CRC, 38400 bit/s):"
for i in 1 2 3; do first_value "local" "$local_dev"; first_value "tcp" "tcp://127.0.0.1:$raw"; \
  first_value "rfc2217" "rfc2217://127.0.0.1:$rfc"; done

for averaging in default 1; do
  if [ "$averaging" = 1 ]; then cli set 301 0 --device "$local_dev" >/dev/null; settle; fi
  echo "monitor for $SECONDS_EACH s, sensor averaging $averaging:"
  measure "local" "$local_dev"
  measure "tcp" "tcp://127.0.0.1:$raw"
  measure "rfc2217" "rfc2217://127.0.0.1:$rfc"
done
