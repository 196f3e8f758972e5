# shellcheck shell=bash
# Sourced by the shell tests. ctest counts exit status 77 as "skipped", so a
# test ends with 77 only through qinghe_skip, which says which prerequisite
# is absent: a command that fails with 77 under set -e, or a program's stray
# 77, fails the test instead of hiding it. What must run when the script
# ends is registered with qinghe_at_exit (last registered, first run), which
# keeps this one EXIT trap in place.

qinghe_skipping=0
qinghe_exit_hooks=()

qinghe_skip() {
  echo "skipped: $*"
  qinghe_skipping=1
  exit 77
}

qinghe_at_exit() { qinghe_exit_hooks+=("$1"); }

_qinghe_on_exit() {
  local status=$? at
  for ((at = ${#qinghe_exit_hooks[@]} - 1; at >= 0; at--)); do
    eval "${qinghe_exit_hooks[at]}" || true
  done
  if [ "$status" -eq 77 ] && [ "$qinghe_skipping" -ne 1 ]; then
    echo "FAILED: the test ended with status 77 without saying what it lacks (qinghe_skip)"
    status=1
  fi
  exit "$status"
}
trap _qinghe_on_exit EXIT
