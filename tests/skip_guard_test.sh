#!/usr/bin/env bash
# The shell tests' skip guard (skip_guard.sh): only qinghe_skip ends a test
# as skipped; any other 77 fails it; the exit hooks run last registered
# first, whatever the status.
set -uo pipefail
guard="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/skip_guard.sh"
failures=0

# Runs BODY as a test script that sources the guard; prints its status and
# output.
run_body() {
  bash -c "set -euo pipefail; source '$guard'; $1" 2>&1
  echo "status=$?"
}

expect() {
  local what=$1 want=$2 got=$3
  if [[ "$got" != *"$want"* ]]; then
    failures=$((failures + 1))
    printf 'FAILED: %s\n  wanted to contain: %s\n  got: %s\n' "$what" "$want" "$got"
  fi
}

expect "a skip says why and ends with 77" $'skipped: no corpus\nstatus=77' \
  "$(run_body 'qinghe_skip "no corpus"')"
expect "a command failing with 77 under set -e fails the test" "status=1" \
  "$(run_body 'bash -c "exit 77"; echo unreachable')"
expect "a plain exit 77 fails the test" "status=1" "$(run_body 'exit 77')"
expect "other statuses pass through" "status=3" "$(run_body 'exit 3')"
expect "success stays success" "status=0" "$(run_body 'true')"
expect "hooks run last registered first, and on a skip" $'skipped:x\nsecond\nfirst\nstatus=77' \
  "$(run_body 'qinghe_at_exit "echo first"; qinghe_at_exit "echo second"; qinghe_skip x' | tr -d ' ')"
expect "a failing hook keeps the status" "status=4" \
  "$(run_body 'qinghe_at_exit false; exit 4')"

[ "$failures" -eq 0 ] && echo "skip guard: all passed"
[ "$failures" -eq 0 ]
