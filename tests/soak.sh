#!/usr/bin/env bash
# make soak: the long reliability runs, not part of make test. In the test machine: 200 install
# and uninstall cycles of the demo product and the runs killed midway (tests/e2e/
# test_reliability.py); then each fuzz target for 30 minutes. The inputs a fuzz run finds that
# reach new code join the target's corpus in fuzz/corpus (commit them). Ends with a summary.
# HALBERD_CYCLES and HALBERD_FUZZ_SECONDS shorten a trial.
set -uo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
rm -f build/soak-cycles.txt build/soak-kills.txt
# 200 emulated cycles take hours: the test machine's usual limit (5000 s) would stop them.
export HALBERD_VM_TIMEOUT=${HALBERD_VM_TIMEOUT:-43200}

HALBERD_CYCLES=${HALBERD_CYCLES:-200} HALBERD_E2E_ARGS="-s tests/e2e/test_reliability.py" bash tests/run_all.sh e2e
e2e=$?
HALBERD_FUZZ_SECONDS=${HALBERD_FUZZ_SECONDS:-1800} bash tests/run_all.sh fuzz | tee build/soak-fuzz.log
fuzz=${PIPESTATUS[0]}

# What the fuzz runs added to their working corpus, kept when it reaches code the kept corpus does
# not (libFuzzer's merge copies only those).
for target in build/fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  [ -d "build/fuzz-corpus/$name" ] || continue
  mkdir -p "fuzz/corpus/$name"
  before=$(ls "fuzz/corpus/$name" | wc -l)
  "$target" -merge=1 "fuzz/corpus/$name" "build/fuzz-corpus/$name" >"build/$name-merge.log" 2>&1
  echo "$name: corpus $before -> $(ls "fuzz/corpus/$name" | wc -l) inputs"
done

echo
echo "== soak summary"
echo "cycles: $(head -n1 build/soak-cycles.txt 2>/dev/null || echo 'none run')"
kills=$(grep -c '^survived' build/soak-kills.txt 2>/dev/null)
echo "kills survived: ${kills:-0} of 3 points"
for log in build/fuzz_*.log; do
  [ -f "$log" ] || continue
  case $log in *-merge.log) continue ;; esac
  echo "$(basename "$log" .log): $(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo ?) executions"
done
failed=0
if [ "$e2e" != 0 ]; then
  failed=1
  echo "FAILED end-to-end (build/e2e-tests.log):"
  grep -E '^(FAILED|ERROR) ' build/e2e-tests.log | sed 's/^/  /'
  [ -s build/soak-cycles.txt ] && { echo "  residue (build/soak-cycles.txt):"; tail -n +2 build/soak-cycles.txt | head -n 20 | sed 's/^/    /'; }
fi
if [ "$fuzz" != 0 ]; then
  failed=1
  grep -E 'FAILED \(reproducer' build/soak-fuzz.log | sed 's/^/FAILED /'
fi
[ "$failed" = 0 ] && echo "no failures"
exit "$failed"
