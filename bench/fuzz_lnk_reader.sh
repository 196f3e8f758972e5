#!/usr/bin/env bash
# A long fuzz run of the portable link reader (libFuzzer, address and
# undefined behaviour sanitizers), seeded with the shared link corpus; prints
# how many inputs ran and what it found.
#   bash bench/fuzz_lnk_reader.sh [RUNS]   (default 10000000)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${1:-10000000}
out=build/fuzz-long
log=$out/run.log
mkdir -p "$out"
rm -f "$out"/crash-* "$out"/leak-* "$out"/timeout-* "$out"/oom-*

echo "Fuzzing the link reader for $runs runs (reproduce: bash bench/fuzz_lnk_reader.sh $runs)"
bash tests/fuzz/build_and_run.sh "$out" -runs="$runs" >"$log" 2>&1
status=$?
if [ "$status" -eq 77 ]; then
  tail -n 1 "$log"
  exit 0
fi

executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
findings=$(find "$out" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
  -o -name 'oom-*' \) | wc -l)
echo "executions:        ${executed:-?}"
echo "executions/second: ${per_second:-?}"
echo "new inputs kept:   ${added:-?} (in $out/found)"
echo "findings:          $findings"
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  echo "libFuzzer exited with $status; its report:"
  grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 20
  exit 1
fi
