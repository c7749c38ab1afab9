#!/usr/bin/env bash
# Runs the test suites: native (ASan/UBSan), Windows unit tests under Wine, end-to-end tests under
# Wine and Xvfb, and short fuzz runs. With an argument, only that suite (native, win32, e2e, fuzz).
# HALBERD_WIN32_TESTS (a ctest -R pattern) and HALBERD_E2E_ARGS (pytest arguments, such as a file or
# -k NAME) narrow the Windows suites to the tests at hand.
# Every suite gets a fresh copy of the Wine prefix, so no run sees what an earlier one left.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
TEMPLATE=${HALBERD_WINEPREFIX:-/opt/halberd-deps/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
FUZZ_SECONDS=${HALBERD_FUZZ_SECONDS:-60}
only=${1:-all}
passed=0; failed=0; failures=(); skipped=()

# Wine runs the 32-bit installer only where the kernel runs 32-bit code. Where it cannot, the
# Windows suites run in an emulated test machine (scripts/vm) whose kernel does; without its kit
# they are reported as skipped, loudly, and the portable suites still run.
NO_32BIT=$(bash scripts/can-run-32bit.sh) || true
VM_KIT=${HALBERD_DEPS:-/opt/halberd-deps}/vm/$(bash scripts/vm/kit-id.sh)
skip_windows_suite() {  # $1: the suite's name
  [ -z "$NO_32BIT" ] && return 1
  [ -f "$VM_KIT/initrd.gz" ] && return 1
  echo "== $1: SKIPPED: $NO_32BIT (and no test machine kit at $VM_KIT)"
  skipped+=("$1")
}
# Runs a Windows suite ($1: win32 or e2e) in the test machine; its logs land in build/ as usual.
run_in_test_machine() {
  [ -n "$NO_32BIT" ] || return 1
  echo "== $1 suite in the emulated test machine (this machine runs no 32-bit code)"
  # The suite's Wine prefixes live in the test machine's memory, not on the shared project folder.
  HALBERD_TEST_WINE_DIR=/tmp/halberd-test-wine bash scripts/vm/run.sh bash tests/run_all.sh "$1"
  local rc=$?
  [ "$rc" = 0 ] || failures+=("$1")
}

fresh_prefix() {
  local dir=${HALBERD_TEST_WINE_DIR:-$ROOT/build/test-wine}/$1
  [ -d "$dir" ] && { WINEPREFIX=$dir wineserver -k 2>/dev/null; rm -rf "$dir"; }
  mkdir -p "$(dirname "$dir")"
  cp -a "$TEMPLATE" "$dir"
  echo "$dir"
}

# One X display for the suites that start Windows programs, started before Wine's own desktop
# process so that the tests which need windows (closing running programs, the wizard) get them.
# Xvfb picks a free display number itself (-displayfd), so parallel runs do not collide.
XVFB_PID=
start_display() {
  [ -n "$XVFB_PID" ] && return
  local fd_file=build/xvfb-display
  rm -f "$fd_file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(tr -d '[:space:]' < "$fd_file")"
  trap '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null' EXIT
}

# A fresh prefix for a suite, its server kept running, Wine's services started with no pipes of
# ours (a service that inherits a test's pipe keeps the test waiting for its end).
start_wine() {
  start_display
  export WINEPREFIX; WINEPREFIX=$(fresh_prefix "$1")
  # Wine puts what goes to the Recycle Bin (and menu entries) below XDG_DATA_HOME: keep it in the
  # prefix copy, not in the home folder of whoever runs the tests.
  export XDG_DATA_HOME=$WINEPREFIX/xdg-data
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

count_ctest() {  # adds the counts of a ctest log
  local log=$1 total fails
  total=$(grep -oE 'tests failed out of [0-9]+' "$log" | grep -oE '[0-9]+$' | tail -n1)
  fails=$(grep -oE '[0-9]+ tests failed out of' "$log" | grep -oE '^[0-9]+' | tail -n1)
  total=${total:-0}; fails=${fails:-0}
  passed=$((passed + total - fails)); failed=$((failed + fails))
}

run_native() {
  echo "== native unit tests (ASan/UBSan)"
  (cd build/native && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee build/native-tests.log
  count_ctest build/native-tests.log
  [ "${PIPESTATUS[0]}" = 0 ] || failures+=(native)
}

run_win32() {
  skip_windows_suite "Windows unit tests under Wine" && return
  run_in_test_machine win32 && { count_ctest build/win32-tests.log; return; }
  echo "== Windows unit tests under Wine"
  start_wine unit
  # The HTTP client's tests talk to a loopback server of their own (127.0.0.1 only).
  local http_port_file=build/http-test-server.port http_server
  rm -f "$http_port_file"
  python3 tests/tools/http_test_server.py --port-file "$http_port_file" --lifetime 1800 >build/http-test-server.log 2>&1 &
  http_server=$!
  # Under emulation the server takes some 25 s to start: the 5 s wait this once had left the port
  # unset and every HTTP test skipped.
  for _ in $(seq 1200); do [ -s "$http_port_file" ] && break; sleep 0.1; done
  export HALBERD_HTTP_TEST_PORT; HALBERD_HTTP_TEST_PORT=$(cat "$http_port_file" 2>/dev/null)
  # In the emulated test machine a loaded host can stall a thread past the few hundred
  # milliseconds a lock test allows: there a failed test gets one more try.
  local repeat=()
  [ -n "${HALBERD_TEST_WINE_DIR:-}" ] && repeat=(--repeat until-pass:2)
  (cd build/win32 && ctest --output-on-failure -j 2 "${repeat[@]}" -R "${HALBERD_WIN32_TESTS:-.}") 2>&1 | tee build/win32-tests.log
  local rc=${PIPESTATUS[0]}
  kill "$http_server" 2>/dev/null; wait "$http_server" 2>/dev/null
  unset HALBERD_HTTP_TEST_PORT
  wineserver -k 2>/dev/null
  count_ctest build/win32-tests.log
  [ "$rc" = 0 ] || failures+=(win32)
}

run_e2e() {
  skip_windows_suite "end-to-end tests under Wine" && return
  run_in_test_machine e2e && { count_e2e; return; }
  echo "== end-to-end tests under Wine"
  start_wine e2e
  # shellcheck disable=SC2086 # the arguments are words
  /usr/bin/python3 -m pytest -q -p no:cacheprovider ${HALBERD_E2E_ARGS:-tests/e2e} 2>&1 | tee build/e2e-tests.log
  local rc=${PIPESTATUS[0]}
  wineserver -k 2>/dev/null
  count_e2e
  [ "$rc" = 0 ] || failures+=(e2e)
}

count_e2e() {  # adds the counts of the pytest log
  local p f
  p=$(grep -oE '[0-9]+ passed' build/e2e-tests.log | tail -n1 | grep -oE '^[0-9]+')
  f=$(grep -oE '[0-9]+ failed' build/e2e-tests.log | tail -n1 | grep -oE '^[0-9]+')
  passed=$((passed + ${p:-0})); failed=$((failed + ${f:-0}))
}

# One fuzz target for its bounded time; a crash, leak or hang fails it and leaves the reproducer
# in build/fuzz-artifacts.
fuzz_one() {
  local target=$1 name corpus
  name=$(basename "$target")
  corpus=build/fuzz-corpus/$name
  mkdir -p "$corpus" build/fuzz-artifacts
  [ -d "fuzz/corpus/$name" ] && cp -n fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null
  "$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=4096 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="build/fuzz-artifacts/$name-" "$corpus" > "build/$name.log" 2>&1
}

run_fuzz() {
  echo "== fuzz runs (${FUZZ_SECONDS}s each, two at a time)"
  local targets=() pids=() i j
  for target in build/fuzz/bin/fuzz_*; do [ -x "$target" ] && targets+=("$target"); done
  for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for ((j = i; j < i + 2 && j < ${#targets[@]}; j++)); do fuzz_one "${targets[j]}" & pids+=($!); done
    for ((j = 0; j < ${#pids[@]}; j++)); do
      local target=${targets[i + j]} name
      name=$(basename "$target")
      if wait "${pids[j]}"; then
        echo "$name: no failures ($(grep -oE 'stat::number_of_executed_units: *[0-9]+' "build/$name.log" | grep -oE '[0-9]+$' || echo ?) runs)"
        passed=$((passed + 1))
      else
        local repro; repro=$(ls build/fuzz-artifacts/"$name"-* 2>/dev/null | head -n1)
        echo "$name: FAILED (reproducer: ${repro:-none})"; tail -n 40 "build/$name.log"
        # The CI log is all that outlives a CI machine: the reproducer goes into it as base64.
        [ -n "$repro" ] && { echo "reproducer of $name, base64 (decode with base64 -d):"; base64 "$repro" | head -c 100000; echo; }
        failed=$((failed + 1)); failures+=("$name")
      fi
    done
  done
}

case $only in
  native) run_native ;;
  win32) run_win32 ;;
  e2e) run_e2e ;;
  fuzz) run_fuzz ;;
  all) run_native; run_win32; run_e2e; run_fuzz ;;
  *) echo "unknown suite $only"; exit 2 ;;
esac

echo
[ ${#skipped[@]} -eq 0 ] || echo "SKIPPED suites: ${skipped[*]}"
[ ${#failures[@]} -eq 0 ] || echo "failing suites: ${failures[*]}"
echo "$passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ] && [ "$failed" = 0 ]
