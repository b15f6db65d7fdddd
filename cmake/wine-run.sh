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
# The server of the prefix is started here, apart from the caller's output:
# a server that the program started would keep the caller's pipes open (CTest
# would wait for it), and it writes a long object dump there when a serial
# device it has open hangs up (a simulator ending). It stays 10 s after the
# last program; when one is running already this returns at once.
"${WINE%/*}/wineserver" -p10 </dev/null >/dev/null 2>&1 || true
exec "$WINE" "$@"
