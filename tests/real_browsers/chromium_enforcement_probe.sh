#!/usr/bin/env bash
# Research evidence, not part of the product: what a real Chromium does at
# start with a tracked start-page preference that was
#   1. changed by hand, its MAC and encrypted hash left as they were;
#   2. changed by hand, its MAC and encrypted hash removed;
#   3. removed together with its MAC and encrypted hash (all four start-page
#      preferences), which is what a repair does.
# Every start carries QINGHE_CHROMIUM_ENFORCE (chromium_lib.sh). Chromium on
# Linux never enforces (GetSettingsEnforcementGroup in
# chrome/browser/prefs/chrome_pref_service_factory.cc), so by default the
# probe expects the browser to keep and re-seal hand-made values; set
# QINGHE_CHROMIUM_EXPECT_ENFORCED=1 for a build that enforces, and it expects
# resets instead. Edits use python3's json module only. Prints PASS/FAIL
# lines; exits 0 when every line passed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source-path=SCRIPTDIR source=chromium_lib.sh
source "$here/chromium_lib.sh"

expect_enforced=${QINGHE_CHROMIUM_EXPECT_ENFORCED:-0}
scratch=${QINGHE_REAL_BROWSERS_SCRATCH:-$repo/build/real-browsers-scratch}/enforcement-probe
rm -rf "$scratch"
mkdir -p "$scratch"

failures=0
check() {  # check DESCRIPTION PYTHON-EXPRESSION-OVER-before,after
  local what=$1 expr=$2
  if python3 - "$before" "$after" "$expr" <<'PY'
import json, sys
before, after = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
b, a = before['prefs'], after['prefs']
sys.exit(0 if eval(sys.argv[3]) else 1)
PY
  then echo "PASS: $what"
  else echo "FAIL: $what"; failures=$((failures + 1))
  fi
}

# Applies a python3 edit (statements over dict `files`, keyed by file name)
# to DIR's two profile files.
edit_profile() {
  local dir=$1 code=$2
  python3 - "$dir" "$code" <<'PY'
import json, os, sys
dir, code = sys.argv[1], sys.argv[2]
paths = {n: os.path.join(dir, 'Default', n) for n in ('Preferences', 'Secure Preferences')}
files = {n: json.load(open(p, encoding='utf-8')) for n, p in paths.items()}
def drop(d, dotted):
    *parents, last = dotted.split('.')
    for part in parents:
        d = d.get(part, {}) if isinstance(d, dict) else {}
    if isinstance(d, dict):
        d.pop(last, None)
def put(d, dotted, value):
    *parents, last = dotted.split('.')
    for part in parents:
        d = d.setdefault(part, {})
    d[last] = value
exec(code)
for n, p in paths.items():
    with open(p, 'w', encoding='utf-8') as out:
        json.dump(files[n], out, separators=(',', ':'))
PY
}

echo "chromium: $("$(qinghe_chromium_bin)" --version 2>/dev/null)"
echo "switches for enforcement: ${QINGHE_CHROMIUM_ENFORCE:-(none)}"
echo "expecting enforcement: $expect_enforced"

base=$scratch/hijacked
qinghe_chromium_make_profile "$base" || { echo "FAIL: first run did not make a profile"; exit 1; }
qinghe_chromium_hijack "$base" "http://hijack.example/home" \
  || { echo "FAIL: the settings page did not take the hijacked start pages"; exit 1; }
qinghe_chromium_pref_state "$base" >"$scratch/hijacked.json"
echo "PASS: the settings page stored the four values, each with a MAC and an encrypted hash"
holder=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["prefs"]["homepage"]["file"])' "$scratch/hijacked.json")
echo "the start-page values live in: $holder"

# --- 1. changed by hand, MAC and encrypted hash left stale ----------------
dir=$scratch/changed-stale-mac
cp -a "$base" "$dir"
edit_profile "$dir" '
for f in files.values():
    if "homepage" in f: f["homepage"] = "http://changed-by-hand.example/"'
before=$scratch/changed-stale-mac.before.json after=$scratch/changed-stale-mac.after.json
qinghe_chromium_pref_state "$dir" >"$before"
qinghe_chromium_run "$dir" || failures=$((failures + 1))
qinghe_chromium_pref_state "$dir" >"$after"
echo "--- 1. homepage changed by hand, its MAC left stale; after the browser ran:"
python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); print(json.dumps({"homepage": s["prefs"]["homepage"], "preference_reset_time": s["preference_reset_time"], "tracked_preferences_reset": s["tracked_preferences_reset"]}, indent=1))' "$after"
check "1: the stale MAC did not match the hand-made value before the run" 'b["homepage"]["mac_matches"] is False'
if [ "$expect_enforced" = 1 ]; then
  check "1: the browser reset homepage" 'a["homepage"]["value"] is None'
  check "1: the browser recorded the reset (prefs.preference_reset_time)" 'after["preference_reset_time"] not in (None, "0")'
  check "1: prefs.tracked_preferences_reset names homepage" '"homepage" in (after["tracked_preferences_reset"] or [])'
else
  check "1: the browser kept the hand-made homepage" 'a["homepage"]["value"] == "http://changed-by-hand.example/"'
  check "1: the browser wrote a new MAC that matches the hand-made value" 'a["homepage"]["mac_matches"] is True and a["homepage"]["mac"] != b["homepage"]["mac"]'
  check "1: the browser wrote a new encrypted hash" 'a["homepage"]["encrypted_hash"] not in (None, b["homepage"]["encrypted_hash"])'
  check "1: no reset recorded" 'after["preference_reset_time"] is None and after["tracked_preferences_reset"] is None'
fi
check "1: the other three values are untouched" 'all(a[n]["value"] == b[n]["value"] and a[n]["mac"] == b[n]["mac"] for n in ("homepage_is_newtabpage", "session.restore_on_startup", "session.startup_urls"))'

# --- 2. changed by hand, MAC and encrypted hash removed -------------------
dir=$scratch/changed-no-mac
cp -a "$base" "$dir"
edit_profile "$dir" '
for f in files.values():
    if "homepage" in f: f["homepage"] = "http://changed-by-hand.example/"
    drop(f, "protection.macs.homepage")
    drop(f, "protection.macs.homepage_encrypted_hash")'
before=$scratch/changed-no-mac.before.json after=$scratch/changed-no-mac.after.json
qinghe_chromium_pref_state "$dir" >"$before"
qinghe_chromium_run "$dir" || failures=$((failures + 1))
qinghe_chromium_pref_state "$dir" >"$after"
echo "--- 2. homepage changed by hand, its MAC and encrypted hash removed; after the browser ran:"
python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); print(json.dumps({"homepage": s["prefs"]["homepage"], "preference_reset_time": s["preference_reset_time"], "tracked_preferences_reset": s["tracked_preferences_reset"]}, indent=1))' "$after"
check "2: no MAC or encrypted hash for homepage before the run" 'b["homepage"]["mac"] is None and b["homepage"]["encrypted_hash"] is None'
if [ "$expect_enforced" = 1 ]; then
  check "2: the browser reset homepage" 'a["homepage"]["value"] is None'
  check "2: the browser recorded the reset" 'after["preference_reset_time"] not in (None, "0")'
else
  check "2: the browser kept the hand-made homepage" 'a["homepage"]["value"] == "http://changed-by-hand.example/"'
  check "2: the browser sealed it with a MAC that matches and an encrypted hash" 'a["homepage"]["mac_matches"] is True and a["homepage"]["encrypted_hash"] is not None'
  check "2: no reset recorded" 'after["preference_reset_time"] is None and after["tracked_preferences_reset"] is None'
fi

# --- 3. values removed together with their MACs and encrypted hashes ------
dir=$scratch/removed-with-macs
cp -a "$base" "$dir"
edit_profile "$dir" '
for f in files.values():
    for n in ("homepage", "homepage_is_newtabpage", "session.restore_on_startup", "session.startup_urls"):
        drop(f, n)
        drop(f, "protection.macs." + n)
        drop(f, "protection.macs." + n + "_encrypted_hash")
    if f.get("session") == {}: del f["session"]'
before=$scratch/removed-with-macs.before.json after=$scratch/removed-with-macs.after.json
qinghe_chromium_pref_state "$dir" >"$before"
qinghe_chromium_run "$dir" || failures=$((failures + 1))
qinghe_chromium_pref_state "$dir" >"$after"
echo "--- 3. the four values removed with their MACs and encrypted hashes; after the browser ran:"
python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); print(json.dumps(s, indent=1))' "$after"
check "3: nothing of the four was left before the run" 'all(b[n]["value"] is None and b[n]["mac"] is None and b[n]["encrypted_hash"] is None for n in b)'
check "3: the four values stayed unset" 'all(a[n]["value"] is None for n in a)'
check "3: no reset recorded" 'after["preference_reset_time"] is None and after["tracked_preferences_reset"] is None'
check "3: the browser wrote back, for each, the MAC of an absent value and an encrypted hash" 'all(a[n]["mac_matches"] is True and a[n]["encrypted_hash"] is not None for n in a)'

# A second start must leave the repaired profile as it is.
before=$after after=$scratch/removed-with-macs.again.json
qinghe_chromium_run "$dir" || failures=$((failures + 1))
qinghe_chromium_pref_state "$dir" >"$after"
check "3: a second start keeps the four unset, with the same MACs and no reset" 'all(a[n]["value"] is None and a[n]["mac"] == b[n]["mac"] for n in a) and after["preference_reset_time"] is None'

echo "--- log tail ($dir.chromium.log):"
grep -v -e 'dbus' -e 'mojo' "$dir.chromium.log" | tail -n 4
if [ "$failures" -ne 0 ]; then
  echo "FAIL: $failures check(s) failed"
  exit 1
fi
echo "PASS: all checks"
