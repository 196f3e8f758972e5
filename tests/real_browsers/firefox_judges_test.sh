#!/usr/bin/env bash
# The real Firefox judges what profile_repair (the engine on a host folder)
# does to a Firefox profile whose start page was hijacked through user.js.
#
#   bash firefox_judges_test.sh PROFILE_REPAIR_BINARY SCRATCH_DIR
#
# Case 1, hijacked: a profile made by Firefox at
# ROOT/Users/u/AppData/Roaming/Mozilla/Firefox/Profiles/x.default (listed in
# profiles.ini beside it), with prefs of the user's own in prefs.js and
# user.js; then browser.startup.homepage=URL and browser.startup.page=1
# written into user.js and applied by Firefox into prefs.js
# (tests/real_browsers/firefox_lib.sh).
#   - the check names every hijacked statement of both files and changes no
#     file;
#   - the repair reports the profile restored; diff shows that prefs.js and
#     user.js lost exactly the lines of those statements and nothing else;
#     no other file was touched;
#   - Firefox, started again, reads both files without complaint and saves
#     no home page and no browser.startup.page (its defaults apply), keeps
#     the user's own prefs, and every other pref of prefs.js is as before,
#     apart from the prefs it rewrites on every run (FIREFOX_REWRITES below,
#     checked against a control run on an unrepaired copy);
#   - an undo, on a copy taken before Firefox ran again, puts every file
#     back byte for byte.
# Case 2, the user's own address is the home page (saved by Firefox in
# prefs.js): check and repair leave the profile byte-identical and say
# nothing about it.
# The judges are also run on deliberately spoiled files, to show they fail.
#
# Prints PASS/FAIL lines and a summary; exit 0 when all pass, 1 on a
# failure, 77 when no Firefox is installed.

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/../skip_guard.sh
source "$HERE/../skip_guard.sh"
JUDGES_NAME=firefox_judges
# shellcheck source=SCRIPTDIR/judges_lib.sh
source "$HERE/judges_lib.sh"
judges_arguments "$@"
# shellcheck source=SCRIPTDIR/firefox_lib.sh
source "$HERE/firefox_lib.sh"

if ! program=$(_qinghe_firefox_program 2>/dev/null) || [[ ! -x "$program" ]]; then
  qinghe_skip "no Firefox installed"
fi
judges_begin

HIJACK_URL=http://hao.hijack.test/
USER_URL=https://www.user-home.cn/
HOME_PREF=browser.startup.homepage
PAGE_PREF=browser.startup.page
REL_FF="Users/u/AppData/Roaming/Mozilla/Firefox"
REL_P="$REL_FF/Profiles/x.default"
REL_BUNDLES="Users/u/AppData/Local/qinghe"
WHO="浏览器主页：Firefox（x.default）"

# Prefs Firefox (ESR 153) saves anew in prefs.js on every start, whatever the
# profile holds; observed over repeated runs on unchanged profiles (a
# control run below checks the list is still whole):
#   toolkit.startup.last_success   the time of the last successful start
FIREFOX_REWRITES=(toolkit.startup.last_success)

JUDGE="$W/judge.py"
{
  printf '%s\n' "$QINGHE_TREE_PY"
  printf '%s\n' "$_QINGHE_FIREFOX_PREFS_PY"
  cat <<'PY'
import hashlib, json, os

HIJACK_NAMES = (b"browser.startup.homepage", b"browser.startup.page")

def calls(path):
    return parse(read(path))

def cmd_hijack_calls(path, url):
    """The statements of the file the repair must remove, as
    'NAME<TAB>VALUE' lines: the home page when it is not the user's, and
    browser.startup.page=1 beside such a home page (in either file)."""
    for n, kind, value, _s, _e in calls(path):
        if n in HIJACK_NAMES:
            print("%s\t%s" % (n.decode(), show(kind, value)))

def cmd_lines_removed(before, after):
    """after must be before with exactly the whole lines that hold the
    browser.startup.homepage / browser.startup.page statements removed:
    diff shows those lines as removed and nothing else. Prints the diff;
    exit 1 otherwise."""
    import difflib
    b, a = read(before), read(after)
    targets = [(s, e) for n, _k, _v, s, e in parse(b) if n in HIJACK_NAMES]
    bl, al = b.splitlines(True), a.splitlines(True)
    # The line numbers holding a target statement.
    starts, pos = [], 0
    for line in bl:
        starts.append(pos)
        pos += len(line)
    want = set()
    for s, e in targets:
        for i, st in enumerate(starts):
            if st <= s < st + len(bl[i]):
                want.add(i)
    diff = list(difflib.ndiff(bl, al))
    removed, added, i = set(), [], 0
    for d in diff:
        if d.startswith("  "):
            i += 1
        elif d.startswith("- "):
            removed.add(i)
            i += 1
        elif d.startswith("+ "):
            added.append(d)
    for d in diff:
        if d[:2] in ("- ", "+ "):
            print(d.rstrip("\n"))
    bad = []
    if not targets:
        bad.append("no hijack statement in " + os.path.basename(before))
    if removed != want:
        bad.append("removed lines %s, the hijack statements are on lines %s"
                   % (sorted(x + 1 for x in removed), sorted(x + 1 for x in want)))
    if added:
        bad.append("%d line(s) added or changed" % len(added))
    if any(n in HIJACK_NAMES for n, *_ in parse(a)):
        bad.append("a hijack statement is still in " + os.path.basename(after))
    for line in bad:
        print("! " + line)
    sys.exit(1 if bad else 0)

def dump(path):
    out = {}
    for n, kind, value, _s, _e in calls(path):
        out[n.decode("utf-8", "surrogateescape")] = [kind, show(kind, value)]
    return out

def cmd_same_prefs(before, after, *ignore):
    """Every user_pref of before has the same value in after and after has
    no other, apart from the names given. Exit 1 listing each difference."""
    b, a = dump(before), dump(after)
    bad = []
    for n in sorted(set(b) | set(a)):
        if n in ignore:
            continue
        if b.get(n) != a.get(n):
            bad.append("%s: %s -> %s" % (n, b.get(n, "<absent>"), a.get(n, "<absent>")))
    for line in bad:
        print(line)
    print("compared %d prefs" % len(set(b) - set(ignore)), file=sys.stderr)
    sys.exit(1 if bad else 0)

def cmd_spoil(src, dst, how):
    """A copy of a prefs file with one fault: 'extra-line' drops the first
    user_pref line that is no hijack statement too; 'change' changes the
    value of the first int pref."""
    text = read(src)
    lines = text.splitlines(True)
    for i, line in enumerate(lines):
        if line.startswith("user_pref(") and not any(
                ('"%s"' % n.decode()) in line for n in HIJACK_NAMES):
            if how == "extra-line":
                del lines[i]
                break
            if how == "change" and line.rstrip().endswith(");"):
                import re
                m = re.match(r'(user_pref\("[^"]+", )(-?\d+)(\);)', line)
                if m:
                    lines[i] = "%s%d%s\n" % (m.group(1), int(m.group(2)) + 1, m.group(3))
                    break
    with open(dst, "wb") as f:
        f.write("".join(lines).encode("utf-8", "surrogateescape"))

cmd = sys.argv[1].replace("-", "_")
globals()["cmd_" + cmd](*sys.argv[2:])
PY
} >"$JUDGE"
judge() { python3 "$JUDGE" "$@"; }

# Firefox's own complaints about a prefs file it could not read.
complaints() {
  local dir=$1
  grep -h 'prefs parse error' "${dir}.home/last-run.log" 2>/dev/null
  ls "$dir"/Invalidprefs.js 2>/dev/null
}

# A root whose Roaming folder holds profiles.ini listing Profiles/x.default,
# made by Firefox, and whose user has a local application-data folder (as
# every Windows user has: the tool keeps its restore bundles there, and
# without one it changes nothing). Prints nothing; fails with a message.
make_root() {
  local root=$1 ff="$1/$REL_FF"
  mkdir -p "$root/Users/u/AppData/Local" || return 1
  qinghe_firefox_make_profile "$root/$REL_P" || return 1
  printf '[General]\nStartWithLastProfile=1\nVersion=2\n\n[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/x.default\nDefault=1\n' \
    >"$ff/profiles.ini"
}

# True when Firefox saved prefs.js between the two copies: the time of its
# last start, which it saves at every start, moved.
rewrote() {
  local a b
  a=$(grep -F '"toolkit.startup.last_success"' "$1")
  b=$(grep -F '"toolkit.startup.last_success"' "$2")
  [[ -n "$b" && "$a" != "$b" ]]
}

echo "Firefox: $("$program" --version 2>/dev/null) ($program)"
echo "tool: $TOOL"
echo "scratch: $W"

# ---------------------------------------------------------------- case 1
ROOT="$W/root"
P="$ROOT/$REL_P"
if ! make_root "$ROOT"; then
  fail "Firefox could not make a profile"
  finish
fi
# The user's own choices before the hijack: two prefs in prefs.js (as
# about:preferences saves them) and a commented line of user.js.
cat >>"$P/prefs.js" <<'EOF'
user_pref("browser.newtabpage.enabled", false);
user_pref("qinghe.user.prefs_js_keep", "mine");
EOF
printf '%s\n' "// the user's own settings" 'user_pref("qinghe.user.user_js_keep", "stays");' >"$P/user.js"
if qinghe_firefox_run "$P" && [[ -z "$(complaints "$P")" ]] \
    && [[ "$(qinghe_firefox_pref "$P" qinghe.user.prefs_js_keep)" == mine ]] \
    && [[ "$(qinghe_firefox_pref "$P" browser.newtabpage.enabled)" == false ]] \
    && [[ "$(qinghe_firefox_pref "$P" qinghe.user.user_js_keep)" == stays ]]; then
  pass "Firefox made the profile and saved the user's own prefs"
else
  fail "Firefox did not take the user's own prefs"; finish
fi
if qinghe_firefox_hijack "$P" "$HIJACK_URL"; then
  pass "hijack through user.js: Firefox saved $HOME_PREF=$HIJACK_URL in prefs.js"
  grep -hF "$HOME_PREF" "$P/prefs.js" "$P/user.js" | show
else
  fail "the hijack did not take"; finish
fi

SNAP="$W/hijacked"
cp -a "$ROOT" "$SNAP"
judge tree "$ROOT" "$W/tree.hijacked.json"

# The check: one line per hijacked statement of each file.
"$TOOL" "$ROOT" check "$USER_URL" >"$W/check.log" 2>&1
echo "      check exit status $?"
missing="" expected=0
for f in prefs.js user.js; do
  while IFS=$'\t' read -r name value; do
    expected=$((expected + 1))
    grep -qF "$WHO$f $name 现为 \"$value\"" "$W/check.log" || missing+=" $f:$name"
  done < <(judge hijack-calls "$P/$f" "$HIJACK_URL")
done
if [[ $expected -ge 3 && -z "$missing" ]]; then
  pass "check names all $expected hijacked statements of prefs.js and user.js"
  grep -F "$WHO" "$W/check.log" | show
else
  fail "check misses:$missing (of $expected)"; show <"$W/check.log"
fi
judge_check_changed_nothing

# The repair.
judge_repair_reports_restored
judge tree "$ROOT" "$W/tree.repaired.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.repaired.json" \
    "$REL_P/prefs.js" "$REL_P/user.js" "$REL_BUNDLES"); then
  pass "repair changed no file but prefs.js and user.js (and wrote its bundle)"
else
  fail "repair changed other files"; show <<<"$out"
fi
for f in prefs.js user.js; do
  if out=$(judge lines-removed "$SNAP/$REL_P/$f" "$P/$f"); then
    pass "$f: diff shows only the hijack lines removed"
    show <<<"$out"
  else
    fail "$f: the repair's edit is not just the hijack lines"; show <<<"$out"
  fi
done

UNDO="$W/undo-copy"
cp -a "$ROOT" "$UNDO"
cp "$P/prefs.js" "$W/prefs.repaired.js"
cp "$P/user.js" "$W/user.repaired.js"

# A control run on an unrepaired copy: what Firefox changes by itself.
CTRL="$W/control"
cp -a "$SNAP" "$CTRL"
CP="$CTRL/$REL_P"
cp "$CP/prefs.js" "$W/prefs.control-before.js"
if qinghe_firefox_run "$CP"; then
  if ! rewrote "$W/prefs.control-before.js" "$CP/prefs.js"; then
    fail "control run: Firefox did not save prefs.js"
  elif out=$(judge same-prefs "$W/prefs.control-before.js" "$CP/prefs.js" "${FIREFOX_REWRITES[@]}" 2>/dev/null); then
    pass "control run on an unrepaired copy: Firefox changed no pref outside ${FIREFOX_REWRITES[*]}"
  else
    fail "control run: Firefox changed prefs outside the documented list (update FIREFOX_REWRITES)"
    show <<<"$out"
  fi
else
  fail "control run of Firefox failed"
fi

# Firefox again, on the repaired profile.
qinghe_firefox_run "$P"
rc=$?
found=$(complaints "$P")
if [[ $rc -eq 0 && -z "$found" ]]; then
  pass "Firefox started on the repaired profile and read both files without complaint"
else
  fail "Firefox on the repaired profile: exit $rc, $found"
fi
# What follows judges the prefs.js Firefox wrote, not the one the repair left.
if rewrote "$W/prefs.repaired.js" "$P/prefs.js"; then
  pass "Firefox saved prefs.js anew on its way out (toolkit.startup.last_success moved)"
else
  fail "Firefox did not save prefs.js: the checks below would judge the repair's file"
fi
for name in $HOME_PREF $PAGE_PREF; do
  value=$(qinghe_firefox_pref "$P" "$name")
  st=$?
  if [[ $st -eq 2 ]]; then
    pass "$name: Firefox saved no value (its default applies)"
  else
    fail "$name: Firefox saved [$value] (status $st)"
  fi
done
if [[ "$(qinghe_firefox_pref "$P" qinghe.user.prefs_js_keep)" == mine \
      && "$(qinghe_firefox_pref "$P" browser.newtabpage.enabled)" == false \
      && "$(qinghe_firefox_pref "$P" qinghe.user.user_js_keep)" == stays ]]; then
  pass "Firefox kept the user's own prefs (both from prefs.js and from user.js)"
else
  fail "the user's own prefs were lost"
fi
if out=$(judge same-prefs "$W/prefs.repaired.js" "$P/prefs.js" "${FIREFOX_REWRITES[@]}" 2>&1); then
  pass "Firefox kept every other pref of prefs.js ($(tail -n 1 <<<"$out"); ignored: ${FIREFOX_REWRITES[*]})"
else
  fail "Firefox changed other prefs after the repair"; show <<<"$out"
fi
if cmp -s "$W/user.repaired.js" "$P/user.js"; then
  pass "user.js is as the repair left it"
else
  fail "user.js changed after Firefox ran"
fi

# The undo, on the copy taken before Firefox ran again.
"$TOOL" "$UNDO" undo >"$W/undo.log" 2>&1
rc=$?
if [[ $rc -eq 0 ]]; then
  pass "undo ended with status 0"
else
  fail "undo ended with status $rc"; show <"$W/undo.log"
fi
for f in prefs.js user.js; do
  if cmp -s "$SNAP/$REL_P/$f" "$UNDO/$REL_P/$f"; then
    pass "undo: $f is back byte for byte"
  else
    fail "undo: $f differs from before the repair"
    diff "$SNAP/$REL_P/$f" "$UNDO/$REL_P/$f" | show
  fi
done
judge tree "$UNDO" "$W/tree.undone.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.undone.json" "$REL_BUNDLES"); then
  pass "undo: every file outside the tool's own bundle folder is as before the repair"
else
  fail "undo left files changed"; show <<<"$out"
fi

# The judges, on spoiled files: each must find the fault.
S="$W/spoiled"
mkdir -p "$S"
judge spoil "$W/prefs.repaired.js" "$S/extra-line.js" extra-line
judge spoil "$W/prefs.repaired.js" "$S/change.js" change
if ! judge lines-removed "$SNAP/$REL_P/prefs.js" "$S/extra-line.js" >/dev/null \
    && ! judge lines-removed "$SNAP/$REL_P/prefs.js" "$SNAP/$REL_P/prefs.js" >/dev/null \
    && ! judge same-prefs "$W/prefs.repaired.js" "$S/change.js" "${FIREFOX_REWRITES[@]}" >/dev/null 2>&1 \
    && ! judge same-prefs "$W/prefs.repaired.js" "$S/extra-line.js" "${FIREFOX_REWRITES[@]}" >/dev/null 2>&1 \
    && judge same-prefs "$W/prefs.repaired.js" "$W/prefs.repaired.js" >/dev/null 2>&1; then
  pass "the judges find an extra removed line, an unedited file and a changed value, and pass an unchanged file"
else
  fail "a judge missed a spoiled file, or failed an unchanged one"
fi

# ---------------------------------------------------------------- case 2
ROOT2="$W/root-user"
P2="$ROOT2/$REL_P"
if make_root "$ROOT2" \
    && printf 'user_pref("%s", "%s");\n' "$HOME_PREF" "$USER_URL" >>"$P2/prefs.js" \
    && cp "$P2/prefs.js" "$W/prefs.user-before.js" \
    && qinghe_firefox_run "$P2" \
    && rewrote "$W/prefs.user-before.js" "$P2/prefs.js" \
    && [[ "$(qinghe_firefox_pref "$P2" $HOME_PREF)" == "$USER_URL" ]]; then
  pass "case 2: Firefox saved the user's own $USER_URL as home page"
  judge_users_own_page "$ROOT2" Firefox
else
  fail "case 2: could not save the user's own home page"
fi

# ---------------------------------------------------------------- the harness
# A Firefox run that starts within the second prefs.js records as the last
# start saves nothing: the home page user.js sets never reaches prefs.js
# (docs/firefox-profiles.md, section 6). Stamped with the second that has
# just begun, a hijack's run starts within it unless the harness waits.
P3="$W/harness/profile"
if qinghe_firefox_make_profile "$P3"; then
  python3 -c 'import time; time.sleep(1.01 - time.time() % 1)'
  sed -i "s/\"toolkit.startup.last_success\", [0-9]*/\"toolkit.startup.last_success\", $(date +%s)/" \
    "$P3/prefs.js"
  if qinghe_firefox_hijack "$P3" "$HIJACK_URL"; then
    pass "harness: a hijack started within the second prefs.js records still reaches prefs.js"
  else
    fail "harness: a hijack started within the second prefs.js records did not reach prefs.js"
  fi
else
  fail "harness: Firefox could not make a profile"
fi

finish
