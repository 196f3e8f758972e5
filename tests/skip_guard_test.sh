#!/usr/bin/env bash
# The shell tests' skip guard (skip_guard.sh): only qinghe_skip ends a test
# as skipped; any other 77 fails it; the exit hooks run last registered
# first, whatever the status; and a Wine test on a kernel that starts no
# 32-bit programs is skipped, saying so.
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

# Wine's 32-bit loader refused by the kernel: every Wine test is skipped,
# saying why, through the guard where the test has it and without it where
# it has none (tools/wine-run.sh). A loader that starts, fails otherwise or
# is missing is no reason to skip.
wine_lib="$(dirname "$guard")/../tools/wine-lib.sh"
loaders=$(mktemp -d)
trap 'rm -rf "$loaders"' EXIT
printf '\x7fELF\x01\x01\x01\x00' >"$loaders/refused"
printf '#!/bin/sh\necho wine-8.0\n' >"$loaders/starts"
printf '#!/bin/sh\nexit 1\n' >"$loaders/fails"
chmod +x "$loaders"/*
require() {
  QINGHE_WINE_LOADER=$loaders/$1 run_body "source '$wine_lib'; qinghe_wine_require_32bit; echo ran"
}
expect "a loader the kernel refuses skips the test" \
  $'skipped: this machine\'s kernel starts no 32-bit programs' "$(require refused)"
expect "the skip passes the guard" "status=77" "$(require refused)"
if require refused | grep -qx ran; then
  failures=$((failures + 1))
  echo "FAILED: the test went on after the skip"
fi
expect "without the guard the skip says why too" $'32-bit programs' \
  "$(QINGHE_WINE_LOADER=$loaders/refused bash -c "source '$wine_lib'; qinghe_wine_require_32bit; echo ran" 2>&1; echo "status=$?")"
expect "without the guard the status is 77" "status=77" \
  "$(QINGHE_WINE_LOADER=$loaders/refused bash -c "source '$wine_lib'; qinghe_wine_require_32bit" 2>&1; echo "status=$?")"
for loader in starts fails missing; do
  expect "a loader that $loader runs the test" $'ran\nstatus=0' "$(require $loader)"
done

# The 64-bit lane needs no 32-bit code: a refused 32-bit loader skips
# nothing there.
expect "the 64-bit lane runs where no 32-bit program starts" $'ran\nstatus=0' \
  "$(QINGHE_WINE_PROGRAM_BITS=64 require refused)"

# A lane's results: one that ran no test fails, and the 64-bit lane fails
# on any skip but an absent link corpus's.
lane_ran="$(dirname "$guard")/../tools/lane_ran.sh"
junit() {
  local name status reason
  printf '<testsuite>'
  while IFS='|' read -r name status reason; do
    printf '<testcase name="%s" status="%s">' "$name" "$status"
    [ -n "$reason" ] && printf '<skipped/><system-out>skipped: %s</system-out>' "$reason"
    printf '</testcase>'
  done
  printf '</testsuite>'
}
lane() {
  local file=$loaders/lane.xml
  junit >"$file"
  bash "$lane_ran" lane "$file" "$@" >/dev/null 2>&1
  echo "status=$?"
}
expect "a lane whose tests ran passes" "status=0" "$(lane <<<'a|run|')"
expect "a lane whose test failed still ran (ctest fails it)" "status=0" "$(lane <<<'a|fail|')"
expect "a lane that ran none fails" "status=1" "$(lane <<<'a|notrun|no chromium')"
expect "the 64-bit lane fails on a skip" "status=1" "$(printf 'a|run|\nb|notrun|no chromium\n' | lane)"
expect "but for an absent corpus" "status=0" "$(printf 'a|run|\nb|notrun|no link corpus at /x\n' | lane)"
expect "a 32-bit lane may skip" "status=0" "$(printf 'a|run|\nb|notrun|no chromium\n' | lane --may-skip)"
expect "a 32-bit lane skipped whole for the kernel passes" "status=0" \
  "$(lane --may-skip <<<"a|notrun|this machine's kernel starts no 32-bit programs")"
expect "a 32-bit lane skipped whole for anything else fails" "status=1" \
  "$(lane --may-skip <<<'a|notrun|no chromium')"

[ "$failures" -eq 0 ] && echo "skip guard: all passed"
[ "$failures" -eq 0 ]
