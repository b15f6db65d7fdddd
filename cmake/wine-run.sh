#!/bin/sh
# Runs a Windows program of the cross-build under wine64 (CTest's emulator for
# the cross-compiled tests, and scripts/test-windows.sh).
# WINEPREFIX defaults to a throwaway prefix; it is created on first use, once,
# even when several tests start at the same moment.
set -eu
WINE=${ORA_WINE:-}
if [ -z "$WINE" ]; then
  for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$w" ] && [ -x "$w" ]; then WINE=$w; break; fi
  done
fi
if [ -z "$WINE" ]; then
  echo "wine-run: wine64 not found (Debian package wine64)" >&2
  exit 127
fi
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/ora2orb2-wine-$(id -u)}"
export WINEDEBUG="${WINEDEBUG:--all}"
# wine-run.sh --stop-server: ends the prefix's server (and its programs).
if [ "${1:-}" = "--stop-server" ]; then
  exec "${WINE%/*}/wineserver" -k >/dev/null 2>&1
fi
# No window system: Wine must not try to start one or ask to install Mono/Gecko.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY || true

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot -i >/dev/null 2>&1 || true
      "${WINE%/*}/wineserver" -w 2>/dev/null || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
# The server of the prefix is started here, apart from the caller's output
# (a server that the program started would keep the caller's pipes open, and
# CTest would wait for it), and in the foreground mode, which keeps it in this
# session: a server that puts itself in the background leads a session of its
# own, and the first terminal it opens - a COM port that is a pseudo-terminal,
# such as the simulator's - becomes its controlling terminal. When that
# terminal hangs up (the simulator ends or its adapter is pulled) the server
# is sent SIGHUP, and writes an object dump of some 10,000 lines. When a
# server is running already the new one ends at once.
start_server() {  # $1: wineserver's -p option
  server=$( ("${WINE%/*}/wineserver" -f "$1" </dev/null >/dev/null 2>&1 & echo $!) )
  for _ in $(seq 250); do  # ready once it listens on its socket
    kill -0 "$server" 2>/dev/null || return 0
    ls -l "/proc/$server/fd" 2>/dev/null | grep -q 'socket:' && return 0
    sleep 0.02
  done
}
# wine-run.sh --start-server: a server that stays until --stop-server, for a
# series of programs, and Wine's own services started with it, apart from the
# caller's output too (the first program starts them, and they would inherit
# its output). Programs then neither start a server of their own nor meet one
# that is just ending after its idle time.
if [ "${1:-}" = "--start-server" ]; then
  "${WINE%/*}/wineserver" -k >/dev/null 2>&1 || true
  "${WINE%/*}/wineserver" -w >/dev/null 2>&1 || true
  start_server -p
  timeout 120 "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  exit 0
fi
# Otherwise a server that stays 10 s after the last program.
start_server -p10
exec "$WINE" "$@"
