#!/usr/bin/env bash
# Installs what is missing, builds the program twice (normal and with
# AddressSanitizer + UBSan), runs every test in both builds, then the Windows
# part (scripts/test-windows.sh).
#   scripts/test.sh           the full run (what CI runs; with CI=true also the Debian package)
#   scripts/test.sh --quick   day-to-day: the normal build and its tests only
set -euo pipefail
cd "$(dirname "$0")/.."
QUICK=""
case "${1:-}" in
  --quick) QUICK=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
JOBS=$(nproc)
# CI: a warning in our own code fails the build (normal and Windows builds).
if [ "${CI:-}" = true ]; then WERROR=ON; else WERROR=OFF; fi
export ORA_WARNINGS_AS_ERRORS=$WERROR
started=$(date +%s)

run_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$JOBS"
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 600)
}

run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DORA_WARNINGS_AS_ERRORS=$WERROR
if [ -n "$QUICK" ]; then
  echo "test.sh --quick: the normal build passed in $(($(date +%s) - started)) s"
  exit 0
fi
# CI: the Debian package of that build, installed into a fresh Debian root
# (about 2 minutes once the base root is cached; see scripts/test-package.sh).
if [ "${CI:-}" = true ]; then bash scripts/test-package.sh build; fi
# Leaks inside Qt's own libraries are left to Qt (tests/lsan.supp, which
# CTest hands to the tests of this build).
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build build-asan -DCMAKE_BUILD_TYPE=Debug -DORA_SANITIZE=ON

# Windows: the core, CRC16.dll, the core tests and the command-line tool
# cross-built with mingw-w64 and run under Wine, against the simulator of the
# first build.
JOBS=$JOBS bash scripts/test-windows.sh build
echo "test.sh: all passed in $(($(date +%s) - started)) s"
