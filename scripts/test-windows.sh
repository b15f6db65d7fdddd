#!/usr/bin/env bash
# The Windows part of the test run: cross-builds the core, CRC16.dll, the core
# tests and the command-line tool with mingw-w64 (build-win), runs the tests
# under wine64, then puts the Linux simulator (ora2orb2-sim of the Linux build)
# behind COM5 of the Wine prefix and runs the Win32 serial port and the
# command-line tool against it, directly and through ser2net (network ports).
#   scripts/test-windows.sh [LINUX_BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
LINUX_BUILD=${1:-build}
WIN_BUILD=${ORA_WIN_BUILD:-build-win}
JOBS=${JOBS:-$(nproc)}
COM=5
started=$(date +%s.%N)

# ORA_WARNINGS_AS_ERRORS=ON (scripts/test.sh in CI): warnings fail the build.
cmake -S . -B "$WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-w64.cmake" \
  -DORA_WARNINGS_AS_ERRORS="${ORA_WARNINGS_AS_ERRORS:-OFF}"
cmake --build "$WIN_BUILD" -j "$JOBS"

export WINEPREFIX="$ROOT/$WIN_BUILD/wineprefix"
export WINEDEBUG=-all
WINE="$ROOT/cmake/wine-run.sh"
BIN="$ROOT/$WIN_BUILD/bin"

# One Wine server for the whole run, with Wine's services started apart from
# this output (see cmake/wine-run.sh).
"$WINE" --start-server
trap '"$WINE" --stop-server || true' EXIT

# The core tests (CTest starts each program through the same Wine wrapper).
(cd "$WIN_BUILD" && ctest --output-on-failure -j "$JOBS" --timeout 600)

# --- Against the simulated sensor through a COM port --------------------------
SIM="$ROOT/$LINUX_BUILD/bin/ora2orb2-sim"
if [ ! -x "$SIM" ]; then
  echo "test-windows: $SIM missing (build the Linux tree first); COM port tests not run" >&2
  exit 1
fi
work=$(mktemp -d)
sim_pid=""
ser2net_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  sim_pid=""
}
stop_ser2net() {
  if [ -n "$ser2net_pid" ]; then kill "$ser2net_pid" 2>/dev/null || true; wait "$ser2net_pid" 2>/dev/null || true; fi
  ser2net_pid=""
}
cleanup() {
  stop_ser2net
  stop_sim
  "$WINE" --stop-server || true
  rm -f "$WINEPREFIX/dosdevices/com$COM"
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the simulator with the given options; its pseudo-terminal appears as
# COM5 in the prefix (the simulator keeps the link, also across a replug).
start_sim() {
  stop_sim
  mkdir -p "$WINEPREFIX/dosdevices"
  rm -f "$WINEPREFIX/dosdevices/com$COM"
  "$SIM" --link "$WINEPREFIX/dosdevices/com$COM" "$@" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 600); do  # up to 30 s (a loaded machine)
    [ -L "$WINEPREFIX/dosdevices/com$COM" ] && return 0
    sleep 0.05
  done
  echo "test-windows: the simulator did not start: $(cat "$work/sim.out")" >&2
  return 1
}

fail() { echo "test-windows: FAILED: $*" >&2; exit 1; }

cli() { "$WINE" "$BIN/ora2orb2-cli.exe" "$@" --data-dir "$work/data" --quiet; }
expect_exit() {
  local want=$1 what=$2; shift 2
  local rc=0
  cli "$@" >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq "$want" ] || fail "$what exited with $rc, not $want"
}
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

mkdir -p "$work/data"
start_sim
ORA_TEST_COM_PORT=$COM "$WINE" "$BIN/link_tests.exe" --gtest_filter='WinSerialPort.*' --gtest_brief=1 \
  || fail "the Win32 serial port against the simulator"

if [ -f "$BIN/ora2orb2-cli.exe" ]; then
  # info: the simulator's identity and parameter set.
  cli info --port $COM --baud 9600 >"$work/info.txt" || fail "info exited with $?"
  grep -q "30514" "$work/info.txt" || fail "info does not show the simulator's serial number: $(cat "$work/info.txt")"
  cli info --device "\\\\.\\COM$COM" --json >"$work/info.json" || fail "info --json exited with $?"
  grep -q '"30514"' "$work/info.json" || fail "info --json: $(cat "$work/info.json")"

  # monitor: a header and exactly 100 values, in BINARY+CRC through CRC16.dll.
  start_sim --format 3
  t0=$(date +%s.%N)
  cli monitor --port $COM --count 100 >"$work/monitor.csv" || fail "monitor exited with $?"
  monitor_s=$(seconds_since "$t0")
  rows=$(tail -n +2 "$work/monitor.csv" | grep -c .)
  [ "$rows" -eq 100 ] || fail "monitor --count 100 gave $rows rows"
  bad=$(tail -n +2 "$work/monitor.csv" | awk -F, '$2 !~ /^[0-9]+$/' | head -1)
  [ -z "$bad" ] || fail "monitor row without a distance in millimetres: $bad"

  # The adapter is pulled while values stream: a clear message and exit code 6.
  start_sim --format 1 --replug-ms 5000
  # Pulled once values arrive (Wine can take seconds to start the tool; pulled
  # before, the port would be missing rather than lost).
  : >"$work/unplug.csv"
  (for _ in $(seq 600); do
     [ "$(grep -c . "$work/unplug.csv" 2>/dev/null || true)" -ge 3 ] && break
     sleep 0.05
   done
   kill -USR1 "$sim_pid" 2>/dev/null) &
  puller=$!
  rc=0; cli monitor --port $COM --timeout 4 >"$work/unplug.csv" 2>"$work/unplug.err" || rc=$?
  kill "$puller" 2>/dev/null || true; wait "$puller" 2>/dev/null || true
  [ "$rc" -eq 6 ] || fail "an unplug during monitor exited with $rc, not 6: $(cat "$work/unplug.err")"
  grep -q "COM $COM" "$work/unplug.err" || fail "the unplug message does not name the port: $(cat "$work/unplug.err")"
  [ "$(tail -c 1 "$work/unplug.csv" | od -An -c | tr -d ' ')" = '\n' ] || fail "the last row is cut off"

  # CRC16.dll is taken from the program's folder and the system folder only:
  # a copy of the tool without one beside it, started in a folder that holds
  # a CRC16.dll, gets no checksum library and so no BINARY+CRC value (exit 8, no checksum library).
  start_sim --format 3
  mkdir -p "$work/alone" "$work/planted"
  cp "$BIN/ora2orb2-cli.exe" "$work/alone/"
  cp "$BIN/CRC16.dll" "$work/planted/"
  rc=0
  (cd "$work/planted" && "$WINE" "$work/alone/ora2orb2-cli.exe" monitor --port $COM --count 3 --timeout 3 \
     --data-dir "$work/data" --quiet >"$work/planted.csv" 2>"$work/planted.err") || rc=$?
  [ "$rc" -eq 8 ] || fail "a CRC16.dll in the current folder was loaded (monitor exited with $rc): $(cat "$work/planted.err")"
  cp "$BIN/CRC16.dll" "$work/alone/"  # beside the program it is taken
  (cd "$work/planted" && "$WINE" "$work/alone/ora2orb2-cli.exe" monitor --port $COM --count 3 --data-dir "$work/data" \
     --quiet >/dev/null) || fail "the tool with CRC16.dll beside it exited with $?"

  # record --force: a sensor without values leaves the old file as it was
  # (exit 3); with values the new recording takes its place (a move over an
  # open file).
  printf 'old\r\n' >"$work/day.rec"
  start_sim --format 3 --crc-errors 1
  expect_exit 3 "record --force without values" record "$work/day.rec" --force --port $COM --timeout 2
  [ "$(cat "$work/day.rec")" = "$(printf 'old\r')" ] || fail "record --force without values changed the old file"
  start_sim --format 1
  cli record "$work/day.rec" --force --port $COM --count 3 || fail "record --force exited with $?"
  [ "$(grep -c . "$work/day.rec")" -eq 3 ] || fail "record --force left: $(cat "$work/day.rec")"
  [ -z "$(find "$work" -maxdepth 1 -name 'day.rec.*')" ] || fail "record --force left a file beside the recording"

  # download, upload the same file, download again: the same file.
  start_sim
  cli download --port $COM "$work/first.kov" || fail "download exited with $?"
  cli upload --port $COM "$work/first.kov" || fail "upload exited with $?"
  cli download --port $COM "$work/second.kov" || fail "second download exited with $?"
  cmp -s "$work/first.kov" "$work/second.kov" || fail "upload then download changed the file"

  # store and defaults answered, refused and unanswered: their own exit codes.
  cli store --port $COM || fail "store exited with $?"
  cli set 301 1 --port $COM || fail "set exited with $?"
  start_sim --reject 301,999,000
  expect_exit 4 "a refused parameter" set 301 1 --port $COM
  expect_exit 4 "a refused store" store --port $COM
  start_sim --silent
  expect_exit 3 "a silent sensor (info)" info --port $COM --timeout 1
  expect_exit 3 "a silent sensor (defaults)" defaults --port $COM --timeout 1
  stop_sim

  # A network port: Debian's ser2net on the Linux loopback address in front of
  # the simulator's pseudo-terminal, reached through Winsock with RFC 2217
  # (the tool sets the speed) and raw.
  command -v ser2net >/dev/null || fail "ser2net is missing (scripts/deps.sh installs it)"
  listening() { grep -qi ":$(printf %04X "$1") [0-9A-F:]* 0A " /proc/net/tcp; }
  free_port() {
    local p
    for _ in $(seq 100); do
      p=$((20000 + RANDOM % 40000))
      listening "$p" || { echo "$p"; return 0; }
    done
    return 1
  }
  start_sim --format 3
  raw=$(free_port); rfc=$(free_port)
  until [ "$rfc" != "$raw" ]; do rfc=$(free_port); done
  device="$WINEPREFIX/dosdevices/com$COM"
  cat >"$work/ser2net.yaml" <<EOF
%YAML 1.1
---
connection: &raw
  accepter: tcp,127.0.0.1,$raw
  connector: serialdev,$device,9600n81,local
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc
  connector: serialdev,$device,9600n81,local
EOF
  ser2net -n -d -u -c "$work/ser2net.yaml" >"$work/ser2net.log" 2>&1 &
  ser2net_pid=$!
  for _ in $(seq 600); do listening "$raw" && listening "$rfc" && break; sleep 0.05; done
  listening "$rfc" || fail "ser2net did not start: $(cat "$work/ser2net.log")"
  cli monitor --device "rfc2217://127.0.0.1:$rfc" --baud 38400 --count 50 >"$work/network.csv" \
    || fail "monitor through RFC 2217 exited with $?"
  rows=$(tail -n +2 "$work/network.csv" | grep -c .)
  [ "$rows" -eq 50 ] || fail "monitor through RFC 2217 gave $rows rows"
  # The device is free for the raw accepter once ser2net has let the last client go.
  ok=""
  for _ in $(seq 20); do
    cli info --device "tcp://127.0.0.1:$raw" --json >"$work/network.json" 2>/dev/null && { ok=1; break; }
  done
  [ -n "$ok" ] && grep -q '"30514"' "$work/network.json" || fail "info through raw TCP: $(cat "$work/network.json")"
  stop_ser2net
  rc=0; msg=$(cli info --device "tcp://127.0.0.1:$raw" 2>&1 >/dev/null) || rc=$?
  [ "$rc" -eq 2 ] && [[ "$msg" == *"Connection refused"* ]] || fail "a closed network port exited with $rc: $msg"

  # A port that does not exist: the reason and exit code 2.
  rc=0; msg=$(cli info --port 77 2>&1 >/dev/null) || rc=$?
  [ "$rc" -eq 2 ] || fail "a missing port exited with $rc, not 2 ($msg)"
  [ -n "$msg" ] || fail "a missing port gave no reason"

  # Built without MQTT: asked to publish, the tool says so before it touches the port.
  rc=0; msg=$(cli monitor --port 77 --mqtt mqtt://127.0.0.1 2>&1 >/dev/null) || rc=$?
  [ "$rc" -eq 1 ] && [[ "$msg" == *"not built with MQTT"* ]] || fail "monitor --mqtt exited with $rc: $msg"
  echo "test-windows: ora2orb2-cli under Wine: info, monitor (100 values in $monitor_s s), CRC16.dll only from its folder, record --force, download/upload, refused, silent, network port (RFC 2217, raw, refused), missing port, not built with MQTT: OK"
else
  echo "test-windows: ora2orb2-cli.exe not built; command-line tool not tested"
fi

echo "test-windows: Windows part took $(seconds_since "$started") s"
