#!/usr/bin/env bash
# Publishing from the command-line tool to a local mosquitto: values per
# second published with the sensor sending as fast as the line allows
# (BINARY+CRC, 38400 bit/s, averaging off; the tool takes one value per 50 ms
# tick), the CPU share of `monitor` without and with --mqtt (QoS 0 and 1),
# and the time from a broker restart (after 5 s away) to the first value
# delivered again.
#   bench/mqtt/mqtt_figures.sh [BUILD_DIR] [SECONDS]   (default: build, 60)
set -euo pipefail
BIN=$(cd "${1:-build}/bin" && pwd)
SECONDS_EACH=${2:-60}
work=$(mktemp -d)
pids=()
broker=""
cleanup() {
  for p in "${pids[@]}" $broker; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
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

"$BIN/ora2orb2-sim" --link "$work/ttySIM" --format 3 --baud 38400 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/ttySIM" ] && break; sleep 0.05; done

port=$(free_port)
printf 'user %s\nlistener %s 127.0.0.1\nallow_anonymous true\n' "$(id -un)" "$port" >"$work/mosquitto.conf"
start_broker() {
  mosquitto -c "$work/mosquitto.conf" >>"$work/mosquitto.log" 2>&1 &
  broker=$!
  for _ in $(seq 200); do listening "$port" && break; sleep 0.02; done
}
stop_broker() { kill "$broker"; wait "$broker" 2>/dev/null || true; broker=""; }
start_broker

cli() { "$BIN/ora2orb2-cli" "$@" --device "$work/ttySIM" --baud 38400 --data-dir "$work"; }
cli set 301 0 --quiet >/dev/null

# CPU share of one core over the whole run of the tool, rows printed and values received.
measure() {
  local name=$1 t rows got; shift
  mosquitto_sub -p "$port" -t 'ora2orb2/+/distance' -q 1 >"$work/received.txt" 2>/dev/null &
  local sub=$!
  sleep 0.3
  t=$( { TIMEFORMAT='%3U %3S %3R'; time cli monitor --duration "$SECONDS_EACH" "$@" >"$work/rows.csv" 2>/dev/null; } 2>&1 )
  sleep 0.5
  kill "$sub"; wait "$sub" 2>/dev/null || true
  rows=$(($(wc -l <"$work/rows.csv") - 1))
  got=$(wc -l <"$work/received.txt")
  awk -v n="$name" -v t="$t" -v rows="$rows" -v got="$got" 'BEGIN {
    split(t, a, " "); printf "  %-14s %6.3f %% of one core  %d rows in %.1f s, %d values received (%.1f/s)\n",
      n, 100 * (a[1] + a[2]) / a[3], rows, a[3], got, got / a[3] }'
}

echo "monitor for $SECONDS_EACH s, BINARY+CRC at 38400 bit/s, averaging off:"
measure "without --mqtt"
measure "--mqtt QoS 0" --mqtt "mqtt://127.0.0.1:$port"
measure "--mqtt QoS 1" --mqtt "mqtt://127.0.0.1:$port" --mqtt-qos 1

echo "broker restart (5 s away) to the first value delivered again:"
for i in 1 2 3; do
  "$BIN/ora2orb2-cli" monitor --quiet --mqtt "mqtt://127.0.0.1:$port" --mqtt-qos 1 --device "$work/ttySIM" \
    --baud 38400 --data-dir "$work" >/dev/null 2>&1 &
  tool=$!
  sleep 3
  stop_broker
  sleep 5
  start_broker
  t0=$(date +%s.%N)
  mosquitto_sub -p "$port" -t 'ora2orb2/+/distance' -C 1 -F '%U' >"$work/first.txt" 2>/dev/null
  kill -INT "$tool"; wait "$tool" 2>/dev/null || true
  awk -v a="$t0" -v b="$(cat "$work/first.txt")" 'BEGIN { printf "  %.2f s\n", b - a }'
done
