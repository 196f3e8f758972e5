#!/usr/bin/env bash
# Research demonstration with the real Firefox (not part of the product):
# a start page hijacked through user.js, then put back by removing only the
# hijacked lines from user.js and prefs.js, and what Firefox does with that.
#
# Every edit here is done with python3 (the prefs grammar of Firefox's own
# parser, from firefox_lib.sh); every state shown is the prefs.js Firefox
# itself wrote on its way out.  Prints PASS/FAIL/SKIP lines; exit status 0
# when nothing failed.  Scratch files: build/real-browsers-scratch/firefox/
# probe (replaced on each run).

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
# shellcheck source=SCRIPTDIR/firefox_lib.sh
source "$HERE/firefox_lib.sh"

SCRATCH="${QINGHE_FIREFOX_SCRATCH:-$ROOT/build/real-browsers-scratch/firefox}/probe"
P="$SCRATCH/profile"
HOME_PREF=browser.startup.homepage
PAGE_PREF=browser.startup.page
# Two pages, '|' between them, and characters prefs.js must escape.
HIJACK_URL='http://hijack.example/start?from="bundle"&a=\1|https://second.example/'

passed=0 failed=0 skipped=0
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
skip() { skipped=$((skipped + 1)); echo "SKIP: $*"; }
note() { echo "      $*"; }
finish() {
    echo "probe: $passed passed, $failed failed, $skipped skipped"
    [[ $failed -eq 0 ]]
    exit
}

# All user_pref statements of a prefs-format file as JSON {name: [kind, value]}.
dump_prefs() {
    python3 -c "${_QINGHE_FIREFOX_PREFS_PY}$(cat <<'PY'
import json
out = {}
for n, kind, value, _s, _e in parse(read(sys.argv[1])):
    out[n.decode("utf-8", "surrogateescape")] = [kind, show(kind, value)]
print(json.dumps(out, ensure_ascii=False, sort_keys=True))
PY
)" "$1"
}

# Removes, from a prefs-format file, the whole lines holding a user_pref
# statement for one of the given names; prints how many lines went.  Every
# other byte stays.
remove_pref_lines() {
    python3 -c "${_QINGHE_FIREFOX_PREFS_PY}$(cat <<'PY'
path, names = sys.argv[1], {n.encode() for n in sys.argv[2:]}
text = read(path)
spans = [(s, e) for n, _k, _v, s, e in parse(text) if n in names]
removed = 0
for s, e in reversed(spans):
    ls = text.rfind("\n", 0, s) + 1
    le = text.find("\n", e)
    le = len(text) if le < 0 else le + 1
    if text[ls:s].strip() or text[e:le].strip():
        sys.exit("another statement shares the line of one to remove")
    text = text[:ls] + text[le:]
    removed += 1
with open(path, "wb") as f:
    f.write(text.encode("utf-8", "surrogateescape"))
print(removed)
PY
)" "$@"
}

# Names whose values differ between two dumps (added, removed or changed).
changed_names() {
    python3 - "$1" "$2" <<'PY'
import json, sys
a, b = (json.load(open(p)) for p in sys.argv[1:3])
for name in sorted(set(a) | set(b)):
    if a.get(name) != b.get(name):
        print(name)
PY
}

complaints() {  # Firefox's own reports of a prefs file it could not read.
    local dir="$1"
    grep -h 'prefs parse error' "${dir}.home/last-run.log"
    ls "$dir"/Invalidprefs.js 2>/dev/null
}

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH"
echo "Firefox: $("$(_qinghe_firefox_program)" --version 2>/dev/null)"
echo "scratch: $SCRATCH"

# 1. A real profile, written by Firefox.
if qinghe_firefox_make_profile "$P"; then
    pass "Firefox created the profile and wrote $(wc -l <"$P/prefs.js") lines of prefs.js"
else
    fail "could not create a profile"; finish
fi

# 2. The reader agrees with Firefox: hand-escaped literals go in, Firefox
#    reads them and writes them back in its own form, the reader reads that.
C="$SCRATCH/parser-check"
cp -a "$P" "$C"
cat >>"$C/prefs.js" <<'EOF'
user_pref("qinghe.check.escapes", "q\"b\\n\nx\x41u\u4e2d\ud83d\ude00|p");
user_pref('qinghe.check.single', 'it\'s');
user_pref("qinghe.check.raw", "中文页");
user_pref("qinghe.check.int", -42);
user_pref("qinghe.check.bool", true); /* comment */ # comment
EOF
declare -A intended=(
    [qinghe.check.escapes]=$'q"b\\n\nxAu\u4e2d\U0001F600|p'
    [qinghe.check.single]="it's"
    [qinghe.check.raw]=$'\u4e2d\u6587\u9875'
    [qinghe.check.int]=-42
    [qinghe.check.bool]=true
)
if qinghe_firefox_run "$C" && [[ -z "$(complaints "$C")" ]]; then
    bad=""
    for name in "${!intended[@]}"; do
        got="$(qinghe_firefox_pref "$C" "$name")"
        [[ "$got" == "${intended[$name]}" ]] || bad+=" $name=[$got]"
    done
    if [[ -z "$bad" ]]; then
        pass "prefs reader reads ${#intended[@]} escaped values as Firefox rewrote them"
        note "$(grep -F qinghe.check.escapes "$C/prefs.js")"
    else
        fail "prefs reader disagrees with Firefox:$bad"
    fi
else
    fail "Firefox refused the parser-check prefs: $(complaints "$C")"
fi

# 3. The user's own choices before the hijack (as about:preferences would
#    have saved them): restore the previous session, and one pref of the
#    user's own in user.js.
cat >>"$P/prefs.js" <<'EOF'
user_pref("browser.startup.page", 3);
EOF
printf '%s\n' '// the user'"'"'s own line' \
    'user_pref("qinghe.probe.user_js_keep", "stays");' >"$P/user.js"
qinghe_firefox_run "$P"
if [[ "$(qinghe_firefox_pref "$P" $PAGE_PREF)" == 3 ]]; then
    pass "before the hijack Firefox keeps the user's $PAGE_PREF=3"
else
    fail "Firefox did not keep the user's $PAGE_PREF=3"
fi

# 4. The hijack, by the route bundled installers use: user.js.
if qinghe_firefox_hijack "$P" "$HIJACK_URL"; then
    pass "hijack via user.js: prefs.js written by Firefox holds the home page"
    note "$(grep -F "\"$HOME_PREF\"" "$P/prefs.js")"
else
    fail "the hijack did not take"; finish
fi
if qinghe_firefox_pref "$P" $PAGE_PREF >/dev/null; then
    fail "prefs.js still holds a $PAGE_PREF line after user.js set it to 1"
else
    pass "user.js $PAGE_PREF=1 equals the default: Firefox dropped the user's 3 and saves no line"
fi

# 5. Which prefs Firefox rewrites on every run: three more runs on the
#    hijacked profile, nothing else changed.
dump_prefs "$P/prefs.js" >"$SCRATCH/run0.json"
for i in 1 2 3; do
    qinghe_firefox_run "$P" || fail "calibration run $i failed"
    dump_prefs "$P/prefs.js" >"$SCRATCH/run$i.json"
done
{
    changed_names "$SCRATCH/run0.json" "$SCRATCH/run1.json"
    changed_names "$SCRATCH/run1.json" "$SCRATCH/run2.json"
    changed_names "$SCRATCH/run2.json" "$SCRATCH/run3.json"
} | sort -u >"$SCRATCH/volatile.txt"
if [[ -s "$SCRATCH/volatile.txt" ]]; then
    pass "prefs Firefox rewrites on every run: $(paste -sd' ' "$SCRATCH/volatile.txt")"
else
    fail "no pref changed across three runs (the runs may not have saved prefs.js)"
fi

# 6. Removing the lines from prefs.js alone does not help: user.js brings
#    them back at the next start.
cp "$P/prefs.js" "$SCRATCH/prefs.hijacked.js"
n="$(remove_pref_lines "$P/prefs.js" $HOME_PREF $PAGE_PREF)"
qinghe_firefox_run "$P"
if [[ "$(qinghe_firefox_pref "$P" $HOME_PREF)" == "$HIJACK_URL" ]]; then
    pass "removing $n line(s) from prefs.js only: Firefox re-applied user.js, the hijack is back"
else
    fail "the hijack did not come back from user.js"
fi

# 7. The repair: remove only the hijacked lines, from both files.
cp "$P/prefs.js" "$SCRATCH/prefs.before.js"
cp "$P/user.js" "$SCRATCH/user.before.js"
dump_prefs "$P/prefs.js" >"$SCRATCH/before.json"
n_prefs="$(remove_pref_lines "$P/prefs.js" $HOME_PREF $PAGE_PREF)"
n_user="$(remove_pref_lines "$P/user.js" $HOME_PREF $PAGE_PREF)"
lost_prefs="$(diff "$SCRATCH/prefs.before.js" "$P/prefs.js" | grep -c '^<')"
lost_user="$(diff "$SCRATCH/user.before.js" "$P/user.js" | grep -c '^<')"
added="$( { diff "$SCRATCH/prefs.before.js" "$P/prefs.js"
            diff "$SCRATCH/user.before.js" "$P/user.js"; } | grep -c '^>')"
if [[ "$n_prefs" == 1 && "$n_user" == 2 && "$lost_prefs" == 1 && "$lost_user" == 2 && "$added" == 0 ]]; then
    pass "removed exactly the hijacked lines: $n_prefs from prefs.js, $n_user from user.js"
else
    fail "the edit touched other lines (prefs.js -$lost_prefs, user.js -$lost_user)"
fi

qinghe_firefox_run "$P"
rc=$?
found="$(complaints "$P")"
if [[ $rc -eq 0 && -z "$found" ]]; then
    pass "Firefox started and exited cleanly on the edited files (no parse error, no Invalidprefs.js)"
else
    fail "Firefox complained (exit $rc): $found"
fi
for name in $HOME_PREF $PAGE_PREF; do
    value="$(qinghe_firefox_pref "$P" "$name")"
    if [[ $? -eq 2 ]]; then
        pass "$name: no line in prefs.js written by Firefox (back to its default)"
    else
        fail "$name is still saved as [$value]"
    fi
done
if [[ "$(qinghe_firefox_pref "$P" qinghe.probe.user_js_keep)" == stays ]] \
        && grep -qF 'qinghe.probe.user_js_keep' "$P/user.js"; then
    pass "the user's own user.js line is still there and still applied"
else
    fail "the user's own user.js line was lost"
fi

dump_prefs "$P/prefs.js" >"$SCRATCH/after.json"
report="$(python3 - "$SCRATCH/before.json" "$SCRATCH/after.json" \
    "$SCRATCH/volatile.txt" $HOME_PREF $PAGE_PREF <<'PY'
import json, sys
before, after = (json.load(open(p)) for p in sys.argv[1:3])
volatile = set(open(sys.argv[3]).read().split())
removed = set(sys.argv[4:])
kept = changed = 0
problems, moved = [], []
for name in sorted(set(before) | set(after)):
    if name in removed:
        continue
    if name in volatile:
        if before.get(name) != after.get(name):
            moved.append(name)
        continue
    if before.get(name) == after.get(name):
        kept += 1
    else:
        problems.append("%s: %s -> %s" % (name, before.get(name), after.get(name)))
print("kept=%d" % kept)
print("moved=%s" % " ".join(moved))
for p in problems:
    print("problem=" + p)
PY
)"
kept="$(sed -n 's/^kept=//p' <<<"$report")"
moved="$(sed -n 's/^moved=//p' <<<"$report")"
problems="$(sed -n 's/^problem=//p' <<<"$report")"
if [[ -z "$problems" && "${kept:-0}" -gt 0 ]]; then
    pass "Firefox kept the other $kept user_pref lines unchanged (rewrote only: ${moved:-none})"
else
    fail "other prefs changed: $problems"
fi

# 8. The complaint check is live: a careless edit (a statement cut in half)
#    must be reported by Firefox.
B="$SCRATCH/broken-edit"
cp -a "$P" "$B"
sed -i 's/^\(user_pref("qinghe.probe.user_js_keep", "stays"\));$/\1/' "$B/prefs.js"
if cmp -s "$P/prefs.js" "$B/prefs.js"; then
    fail "negative control: the broken edit did not apply"
fi
qinghe_firefox_run "$B"
found="$(complaints "$B")"
if [[ -n "$found" ]]; then
    pass "negative control: Firefox reports a half-removed statement"
    note "$(head -n 1 <<<"$found")"
else
    fail "negative control: a broken prefs.js went unreported"
fi

# 9. Cross-check with Firefox's own answer (Services.prefs over Marionette),
#    on a copy, since a full session adds prefs of its own.
L="$SCRATCH/live-check"
cp -a "$P" "$L"
if live="$(qinghe_firefox_pref_live "$L" $HOME_PREF $PAGE_PREF qinghe.probe.user_js_keep)"; then
    verdict="$(python3 - "$live" <<PY
import json, sys
d = json.loads(sys.argv[1])
h, p, k = d["$HOME_PREF"], d["$PAGE_PREF"], d["qinghe.probe.user_js_keep"]
ok = (not h["user"] and h["value"] == h["default"]
      and not p["user"] and p["value"] == p["default"]
      and k["user"] and k["value"] == "stays")
print("ok" if ok else "bad")
PY
)"
    if [[ "$verdict" == ok ]]; then
        pass "Firefox itself reports both prefs at their defaults, no user value"
        note "$live"
    else
        fail "Firefox reports otherwise: $live"
    fi
else
    skip "live cross-check (Marionette) not available here"
fi

finish
