# Small assertion helpers for the shell tests: each prints what it got beside
# what it wanted, and check_summary ends the test with the count. A test is
# skipped through qinghe_skip and cleans up through qinghe_at_exit.
# shellcheck source=../skip_guard.sh
source "$(dirname "${BASH_SOURCE[0]}")/../skip_guard.sh"
checks_passed=0
checks_failed=0

check_equal() {
  local what=$1 want=$2 got=$3
  if [ "$want" == "$got" ]; then
    checks_passed=$((checks_passed + 1))
  else
    checks_failed=$((checks_failed + 1))
    printf 'FAILED: %s\n  wanted: %q\n  got:    %q\n' "$what" "$want" "$got"
  fi
}

check_true() {
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then
    checks_passed=$((checks_passed + 1))
  else
    checks_failed=$((checks_failed + 1)); printf 'FAILED: %s (%s)\n' "$what" "$*"
  fi
}

check_fails() {
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then
    checks_failed=$((checks_failed + 1)); printf 'FAILED: %s (%s)\n' "$what" "$*"
  else
    checks_passed=$((checks_passed + 1))
  fi
}

check_summary() {
  echo "$checks_passed passed, $checks_failed failed"
  [ "$checks_failed" -eq 0 ]
}
