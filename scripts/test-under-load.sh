#!/usr/bin/env bash
# The test suite of both Linux builds while every core is kept busy by
# another process (stress-ng --cpu, one worker per core): the whole suite of
# the normal and the ASan/UBSan build RUNS times in a row, then every test
# labelled "live" (it starts a process, opens a pseudo-terminal or a socket,
# or waits on the real clock) up to 5 times more in each build until one
# fails. Builds what is missing first, without the load.
#   scripts/test-under-load.sh [RUNS]     (default 3)
# Logs: build/test-under-load/. Exit 0 only when every run passed.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-3}
bash scripts/deps.sh stress-ng
export QT_QPA_PLATFORM=offscreen
JOBS=$(nproc)
LOGS=build/test-under-load

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$JOBS"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORA_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$JOBS"
mkdir -p "$LOGS"

stress-ng --cpu "$JOBS" --timeout 0 --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null || true; wait "$stress" 2>/dev/null || true' EXIT

failed=0
summary=()
# run NAME BUILD_DIR CTEST_ARGS...: one ctest run, its time and pass count.
run() {
  local name=$1 dir=$2; shift 2
  local log="$LOGS/$name.log" start rc=0
  start=$(date +%s)
  if [ "$dir" = build-asan ]; then
    (cd "$dir" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --output-on-failure -j "$JOBS" --timeout 600 "$@") >"$log" 2>&1 || rc=$?
  else
    (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 600 "$@") >"$log" 2>&1 || rc=$?
  fi
  local line
  line=$(grep -E "tests passed, [0-9]+ tests? failed out of" "$log" | tail -1 || true)
  summary+=("$(printf '%-22s %5d s  %s' "$name" $(($(date +%s) - start)) "${line:-no result (exit $rc)}")")
  echo "${summary[-1]}"
  if [ "$rc" -ne 0 ]; then
    failed=1
    grep -E "^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Child aborted|Exception)" "$log" || true
  fi
}

echo "test-under-load: stress-ng --cpu $JOBS running; $RUNS runs of both builds, then the live tests repeated"
for i in $(seq "$RUNS"); do
  run "normal-$i" build
  run "asan-$i" build-asan
done
run normal-live-x5 build -L live --repeat until-fail:5
run asan-live-x5 build-asan -L live --repeat until-fail:5

echo
echo "test-under-load: $(uptime | sed 's/.*load average/load average/')"
printf '%s\n' "${summary[@]}"
exit "$failed"
