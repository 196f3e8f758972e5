#!/usr/bin/env bash
# Holds a lane's ctest run (its JUnit file) to having run Windows code: a
# lane none of whose tests ran is a failure, never green. Without
# --may-skip (the 64-bit lane, which every machine runs) a skipped test
# fails it too, with its reason, unless what it lacks is the link corpus
# (../shared/testdata/lnk, absent from a clone of its own); with it (the
# 32-bit lanes, which need a kernel that starts 32-bit programs) the skips
# are listed and pass.
#   lane_ran.sh LANE-NAME JUNIT-FILE [--may-skip]
set -euo pipefail
lane=$1 junit=$2 may_skip=${3:-}
[ -f "$junit" ] || { echo "$lane lane: no test results at $junit" >&2; exit 1; }

# Each test case's name and status, with the reason a skipped one gave.
cases=$(python3 - "$junit" <<'PY'
import sys, xml.etree.ElementTree as tree
for case in tree.parse(sys.argv[1]).getroot().iter("testcase"):
    reason = ""
    skipped = case.find("skipped")
    if skipped is not None:
        out = case.findtext("system-out") or ""
        said = [line for line in out.splitlines() if line.startswith("skipped")]
        reason = said[0] if said else (skipped.get("message") or "")
    print(f"{case.get('name')}\t{case.get('status')}\t{reason}")
PY
)
ran=$(awk -F'\t' '$2 == "run" || $2 == "fail"' <<<"$cases" | wc -l)
skipped=$(awk -F'\t' '$2 != "run" && $2 != "fail"' <<<"$cases")
if [ -n "$skipped" ]; then
  echo "$lane lane: skipped:"
  sed 's/^/  /' <<<"$skipped"
fi
if [ "$ran" -eq 0 ]; then
  echo "$lane lane: FAILED: no test ran, so no Windows code was tested" >&2
  [ "$may_skip" = --may-skip ] && [ -n "$skipped" ] && ! grep -qv 'starts no 32-bit programs' <<<"$skipped" &&
    { echo "$lane lane: skipped whole on this machine, which starts no 32-bit programs"; exit 0; }
  exit 1
fi
if [ "$may_skip" != --may-skip ] && grep -v $'\tskipped: no link corpus at ' <<<"$skipped" | grep -q .; then
  echo "$lane lane: FAILED: this lane runs on every machine, and a test was skipped" >&2
  exit 1
fi
echo "$lane lane: $ran tests ran"
