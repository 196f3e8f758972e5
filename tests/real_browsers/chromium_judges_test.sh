#!/usr/bin/env bash
# The real Chromium judges what profile_repair (the engine on a host folder)
# does to a Chromium profile whose start pages were hijacked.
#
#   bash chromium_judges_test.sh PROFILE_REPAIR_BINARY SCRATCH_DIR
#
# Case 1, hijacked: a profile made by Chromium, its four start settings set
# through Chromium's own settings page (tests/real_browsers/chromium_lib.sh).
#   - the check names each of the four settings and changes no file;
#   - the repair reports the profile restored; the four values and their
#     protection.macs entries (<path>, <path>_encrypted_hash) are gone from
#     Preferences and Secure Preferences; everything else in both files is
#     the same parsed JSON as before; no other file was touched;
#   - Chromium, started again with the harness's strictest switches
#     (QINGHE_CHROMIUM_ENFORCE), keeps the four unset (its default applies),
#     seals the absent values with MACs of an absent value, records no reset,
#     writes no Preferences.bad, and leaves the other settings as they were,
#     apart from the keys it rewrites on every run (CHROMIUM_REWRITES below,
#     checked against a control run on an unrepaired copy);
#   - an undo, on a copy taken before Chromium ran again, puts every file
#     back byte for byte.
# Case 2, the user's own address is the home page: check and repair leave
# the profile byte-identical and say nothing about it.
# The judges are also run on deliberately spoiled files, to show they fail.
#
# Prints PASS/FAIL lines and a summary; exit 0 when all pass, 1 on a
# failure, 77 when no Chromium binary is installed.

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/../skip_guard.sh
source "$HERE/../skip_guard.sh"
JUDGES_NAME=chromium_judges
# shellcheck source=SCRIPTDIR/judges_lib.sh
source "$HERE/judges_lib.sh"
judges_arguments "$@"
# shellcheck source=SCRIPTDIR/chromium_lib.sh
source "$HERE/chromium_lib.sh"

bin=$(qinghe_chromium_bin 2>/dev/null)
if [ -z "$bin" ] || [ ! -x "$bin" ]; then
  qinghe_skip "no Chromium binary installed"
fi
judges_begin

HIJACK_URL=http://hao.hijack.test/
USER_URL=https://www.user-home.cn/
REL_UD="Users/u/AppData/Local/Chromium/User Data"
REL_BUNDLES="Users/u/AppData/Local/qinghe"
WHO="浏览器主页：Chromium（Default）"

# Keys of Default/Preferences that Chromium (Debian's 156) rewrites on every
# start, whatever the profile holds; observed over repeated runs on
# unchanged profiles (a control run below checks the list is still whole):
#   google.services.signin_scoped_device_id   a new random id per run
#   in_product_help.session_last_active_time  a time stamp
#   profile.last_engagement_time              a time stamp
#   profile.content_settings.exceptions.site_engagement
#                                             engagement scores of the pages
#                                             it opened (its own chrome://
#                                             pages), time stamps inside
#   schedule_to_flush_to_disk                 a time stamp, with its MAC:
#   protection.macs.schedule_to_flush_to_disk
#   protection.macs.schedule_to_flush_to_disk_encrypted_hash
#   protection.super_encrypted_hash           covers every *_encrypted_hash
#                                             entry, so follows the one above
#   sessions.event_log                        one entry appended per run
#   sessions.session_data_status              flips between 3 and 5
# Secure Preferences: none (on Linux it holds only protection.super_mac).
CHROMIUM_REWRITES=(
  google.services.signin_scoped_device_id
  in_product_help.session_last_active_time
  profile.last_engagement_time
  profile.content_settings.exceptions.site_engagement
  schedule_to_flush_to_disk
  protection.macs.schedule_to_flush_to_disk
  protection.macs.schedule_to_flush_to_disk_encrypted_hash
  protection.super_encrypted_hash
  sessions.event_log
  sessions.session_data_status
)
TRACKED=(homepage homepage_is_newtabpage session.restore_on_startup session.startup_urls)
# The protection entries of the four: after a repair removed them, Chromium
# writes the MAC (and encrypted hash) of an absent value for each on its next
# start (docs/browser-profiles.md); checked on their own below.
TRACKED_CODES=()
for p in "${TRACKED[@]}"; do
  TRACKED_CODES+=("protection.macs.$p" "protection.macs.${p}_encrypted_hash")
done

JUDGE="$W/judge.py"
{
  printf '%s\n' "$QINGHE_TREE_PY"
  cat <<'PY'
import hashlib, json, os, sys

TRACKED = ["homepage", "homepage_is_newtabpage", "session.restore_on_startup",
           "session.startup_urls"]

def load(path):
    with open(path, "rb") as f:
        return json.loads(f.read().decode("utf-8"))

def parts(dotted):
    return dotted.split(".")

def get(d, path):
    for k in path:
        if not isinstance(d, dict) or k not in d:
            return None, False
        d = d[k]
    return d, True

def remove(d, path):
    """Removes the member at path; returns True when it was there. Parents
    left empty by the removal are pruned (a file that keeps them as {} and
    one that drops them mean the same to Chromium)."""
    chain = [d]
    for k in path[:-1]:
        if not isinstance(chain[-1], dict) or k not in chain[-1]:
            return False
        chain.append(chain[-1][k])
    if not isinstance(chain[-1], dict) or path[-1] not in chain[-1]:
        return False
    del chain[-1][path[-1]]
    prune(d, path)
    return True

def prune(d, path):
    # From the deepest parent up: drop those that are empty objects.
    for depth in range(len(path) - 1, 0, -1):
        parent, ok = get(d, path[:depth - 1])
        if not ok or not isinstance(parent, dict):
            continue
        child = parent.get(path[depth - 1])
        if isinstance(child, dict) and not child:
            del parent[path[depth - 1]]

def flat(d, prefix=()):
    out = {}
    if isinstance(d, dict) and d:
        for k, v in d.items():
            out.update(flat(v, prefix + (k,)))
    else:
        out[prefix] = d
    return out

def short(v):
    s = json.dumps(v, ensure_ascii=False)
    return s if len(s) <= 90 else s[:87] + "..."

def differences(before, after):
    fb, fa = flat(before), flat(after)
    out = []
    for k in sorted(set(fb) | set(fa)):
        b, a = fb.get(k, "<absent>"), fa.get(k, "<absent>")
        if b != a:
            out.append("%s: %s -> %s" % (".".join(k), short(b), short(a)))
    return out

def codes_of(p):
    return ["protection.macs." + p, "protection.macs." + p + "_encrypted_hash"]

def cmd_present(*files):
    """The hijacked state: each of the four has a value, a MAC and an
    encrypted hash in one of the files. Exit 1 otherwise."""
    docs = [load(f) for f in files]
    bad = []
    for p in TRACKED:
        for path in [p] + codes_of(p):
            if not any(get(d, parts(path))[1] for d in docs):
                bad.append("missing " + path)
    for line in bad:
        print(line)
    sys.exit(1 if bad else 0)

def cmd_gone(*files):
    """None of the four values, nor their protection entries, is in any of
    the files. Exit 1 otherwise, naming what is left."""
    bad = []
    for f in files:
        d = load(f)
        for p in TRACKED:
            for path in [p] + codes_of(p):
                v, ok = get(d, parts(path))
                if ok:
                    bad.append("%s still holds %s = %s" % (os.path.basename(f), path, short(v)))
    for line in bad:
        print(line)
    sys.exit(1 if bad else 0)

def cmd_same(before, after, *args):
    """Parsed JSON of `after` equals `before` once the members listed after
    --drop are removed from `before` (they must be there: exit 1 if not) and
    those listed after --ignore are removed from both. Exit 1 on any
    difference, listing each."""
    b, a = load(before), load(after)
    mode, drop, ignore = None, [], []
    for x in args:
        if x in ("--drop", "--ignore"):
            mode = x
        elif mode == "--drop":
            drop.append(x)
        else:
            ignore.append(x)
    for p in drop:
        remove(b, parts(p))
        # The same parents, emptied by the removal, may be kept as {} or
        # dropped in `after`: the same to Chromium.
        prune(a, parts(p))
    for p in ignore:
        for d in (b, a):
            remove(d, parts(p))
            prune(d, parts(p))
    diff = differences(b, a)
    for line in diff:
        print(line)
    sys.exit(1 if diff else 0)

def cmd_drops(*files):
    """The members a repair of these files removes: each of the four and its
    protection entries, where present, one a line."""
    for f in files:
        d = load(f)
        for p in TRACKED:
            for path in [p] + codes_of(p):
                if get(d, parts(path))[1]:
                    print(path)

def cmd_spoil(src, dst, how):
    """A copy of a JSON file with one fault put in: 'keep-mac' puts back the
    homepage MAC of another file (argument after a colon), 'change' changes
    one value no repair touches, 'extra' adds a member."""
    d = load(src)
    if how.startswith("keep-mac:"):
        other = load(how.split(":", 1)[1])
        mac, _ = get(other, parts("protection.macs.homepage"))
        d.setdefault("protection", {}).setdefault("macs", {})["homepage"] = mac
    elif how == "change":
        # The first number or string outside "protection" and the four.
        for k, v in flat(d).items():
            if k[0] != "protection" and ".".join(k) not in TRACKED and \
                    isinstance(v, (int, str)) and not isinstance(v, bool):
                parent, _ = get(d, list(k[:-1]))
                parent[k[-1]] = v + 1 if isinstance(v, int) else v + "x"
                break
    elif how == "extra":
        d["qinghe_spoiled"] = True
    with open(dst, "w", encoding="utf-8") as f:
        json.dump(d, f, ensure_ascii=False, separators=(",", ":"))

def cmd_state_ok(state_path, before_state_path):
    """After the browser ran on the repaired profile: every value absent, a
    MAC present is that of an absent value, no reset recorded. Prints the
    findings; exit 1 on a fault."""
    st, before = json.load(open(state_path)), json.load(open(before_state_path))
    bad = []
    for p in TRACKED:
        e = st["prefs"][p]
        if e["value"] is not None:
            bad.append("%s is set again: %s (in %s)" % (p, short(e["value"]), e["file"]))
        elif e["mac"] is not None and not e["mac_matches"]:
            bad.append("%s: the MAC %s is not that of an absent value" % (p, e["mac"]))
        else:
            print("%s: absent; MAC %s" % (p, "of an absent value" if e["mac"] else "absent"))
    if st["preference_reset_time"] not in (None, before["preference_reset_time"]):
        bad.append("prefs.preference_reset_time recorded: %s (before: %s)"
                   % (st["preference_reset_time"], before["preference_reset_time"]))
    if st["tracked_preferences_reset"]:
        bad.append("prefs.tracked_preferences_reset recorded: %s" % st["tracked_preferences_reset"])
    for line in bad:
        print(line)
    sys.exit(1 if bad else 0)

globals()["cmd_" + sys.argv[1].replace("-", "_")](*sys.argv[2:])
PY
} >"$JUDGE"
judge() { python3 "$JUDGE" "$@"; }

echo "Chromium: $("$bin" --version 2>/dev/null) ($bin)"
echo "strictest switches: ${QINGHE_CHROMIUM_ENFORCE:-<none>}"
echo "tool: $TOOL"
echo "scratch: $W"

# ---------------------------------------------------------------- case 1
ROOT="$W/root"
UD="$ROOT/$REL_UD"
P="$UD/Default/Preferences"
SP="$UD/Default/Secure Preferences"
if qinghe_chromium_make_profile "$UD" && qinghe_chromium_hijack "$UD" "$HIJACK_URL"; then
  pass "Chromium made the profile and its settings page stored the hijack ($(cat "$UD.hijack.json"))"
else
  fail "could not make and hijack a Chromium profile (see $UD.chromium.log)"
  finish
fi
if out=$(judge present "$P" "$SP"); then
  pass "hijacked: each of the four has a value, a MAC and an encrypted hash"
else
  fail "the hijacked profile lacks what the test needs"; show <<<"$out"; finish
fi

SNAP="$W/hijacked"          # the whole root before the tool ran
cp -a "$ROOT" "$SNAP"
judge tree "$ROOT" "$W/tree.hijacked.json"

# The check.
"$TOOL" "$ROOT" check "$USER_URL" >"$W/check.log" 2>&1
echo "      check exit status $?"
missing=""
for p in "${TRACKED[@]}"; do
  grep -qF "$WHO$p 现为" "$W/check.log" || missing+=" $p"
done
if [ -z "$missing" ] && grep -F "${WHO}homepage 现为" "$W/check.log" | grep -qF "$HIJACK_URL"; then
  pass "check names the four settings, the home page with its hijacked value"
  grep -F "$WHO" "$W/check.log" | show
else
  fail "check does not name:$missing"; show <"$W/check.log"
fi
judge_check_changed_nothing

# The repair.
judge_repair_reports_restored
judge tree "$ROOT" "$W/tree.repaired.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.repaired.json" \
    "$REL_UD/Default/Preferences" "$REL_UD/Default/Secure Preferences" "$REL_BUNDLES"); then
  pass "repair changed no file but the two preference files (and wrote its bundle): $(judge changed "$W/tree.hijacked.json" "$W/tree.repaired.json" | grep -v "^$REL_BUNDLES/" | paste -sd, -)"
else
  fail "repair changed other files"; show <<<"$out"
fi
if out=$(judge gone "$P" "$SP"); then
  pass "the four values and their MAC and encrypted-hash entries are gone from both files"
else
  fail "left in the files after the repair"; show <<<"$out"
fi
for f in Preferences "Secure Preferences"; do
  # shellcheck disable=SC2046  # one member path a line, no spaces
  if out=$(judge same "$SNAP/$REL_UD/Default/$f" "$UD/Default/$f" \
      --drop $(judge drops "$SNAP/$REL_UD/Default/$f")); then
    pass "$f: everything else is the same parsed JSON as before the repair ($(judge drops "$SNAP/$REL_UD/Default/$f" | wc -l) members removed)"
  else
    fail "$f: other members differ from before the repair"; show <<<"$out"
  fi
done

UNDO="$W/undo-copy"         # the repaired root, before Chromium runs on it
cp -a "$ROOT" "$UNDO"
cp "$P" "$W/Preferences.repaired"
cp "$SP" "$W/Secure Preferences.repaired"
qinghe_chromium_pref_state "$UD" >"$W/state.repaired.json"

# A control run on an unrepaired copy: what Chromium changes by itself.
CTRL="$W/control"
cp -a "$SNAP" "$CTRL"
CUD="$CTRL/$REL_UD"
cp "$CUD/Default/Preferences" "$W/Preferences.control-before"
cp "$CUD/Default/Secure Preferences" "$W/Secure Preferences.control-before"
if qinghe_chromium_run "$CUD"; then
  ok=1
  for f in Preferences "Secure Preferences"; do
    ign=()
    [ "$f" = Preferences ] && ign=(--ignore "${CHROMIUM_REWRITES[@]}")
    if ! out=$(judge same "$W/$f.control-before" "$CUD/Default/$f" "${ign[@]}"); then
      ok=0
      fail "control run: Chromium changed $f keys outside the documented list (update CHROMIUM_REWRITES)"
      show <<<"$out"
    fi
  done
  [ "$ok" = 1 ] && pass "control run on an unrepaired copy: Chromium changed nothing outside the ${#CHROMIUM_REWRITES[@]} keys it rewrites on every run"
else
  fail "control run of Chromium failed"
fi

# Chromium again, on the repaired profile.
if qinghe_chromium_run "$UD"; then
  pass "Chromium started on the repaired profile and exited cleanly"
else
  fail "Chromium failed on the repaired profile"; tail -n 20 "$UD.chromium.log" | show
fi
# What follows judges the files Chromium wrote, not the ones the repair left.
if cmp -s "$W/Preferences.repaired" "$P"; then
  fail "Chromium did not write Preferences: the checks below would judge the repair's file"
else
  pass "Chromium wrote Preferences anew"
fi
qinghe_chromium_pref_state "$UD" >"$W/state.after-run.json"
if out=$(judge state-ok "$W/state.after-run.json" "$W/state.repaired.json"); then
  pass "after Chromium ran: the four stay unset (its default applies), no reset recorded"
  show <<<"$out"
else
  fail "after Chromium ran"; show <<<"$out"
fi
bad_files=$(cd "$UD" && find . -name '*.bad' -o -name '*.bad.*')
if [ -z "$bad_files" ]; then
  pass "no Preferences.bad (Chromium read both files)"
else
  fail "Chromium set aside: $bad_files"
fi
if out=$(judge same "$W/Preferences.repaired" "$P" \
    --ignore "${CHROMIUM_REWRITES[@]}" "${TRACKED_CODES[@]}"); then
  pass "Preferences: Chromium kept every other setting (ignored only the keys it rewrites each run, and the four's new codes)"
else
  fail "Preferences: Chromium changed other settings after the repair"; show <<<"$out"
fi
if out=$(judge same "$W/Secure Preferences.repaired" "$SP"); then
  pass "Secure Preferences: unchanged by Chromium"
else
  fail "Secure Preferences changed by Chromium"; show <<<"$out"
fi

# The undo, on the copy taken before Chromium ran again.
"$TOOL" "$UNDO" undo >"$W/undo.log" 2>&1
rc=$?
if [ "$rc" -eq 0 ]; then
  pass "undo ended with status 0"
else
  fail "undo ended with status $rc"; show <"$W/undo.log"
fi
for f in Preferences "Secure Preferences"; do
  if cmp -s "$SNAP/$REL_UD/Default/$f" "$UNDO/$REL_UD/Default/$f"; then
    pass "undo: $f is back byte for byte"
  else
    fail "undo: $f differs from before the repair"
    cmp "$SNAP/$REL_UD/Default/$f" "$UNDO/$REL_UD/Default/$f" 2>&1 | show
  fi
done
judge tree "$UNDO" "$W/tree.undone.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.undone.json" "$REL_BUNDLES"); then
  pass "undo: every file outside the tool's own bundle folder is as before the repair"
else
  fail "undo left files changed"; show <<<"$out"
fi

# The judges, on spoiled files: each must find the fault.
SP_DIR="$W/spoiled"
mkdir -p "$SP_DIR"
judge spoil "$W/Preferences.repaired" "$SP_DIR/keep-mac" "keep-mac:$SNAP/$REL_UD/Default/Preferences"
judge spoil "$W/Preferences.repaired" "$SP_DIR/change" change
judge spoil "$W/Preferences.repaired" "$SP_DIR/extra" extra
# shellcheck disable=SC2046
if ! judge gone "$SP_DIR/keep-mac" >/dev/null \
    && ! judge same "$SNAP/$REL_UD/Default/Preferences" "$SP_DIR/change" \
         --drop $(judge drops "$SNAP/$REL_UD/Default/Preferences") >/dev/null \
    && ! judge same "$W/Preferences.repaired" "$SP_DIR/extra" \
         --ignore "${CHROMIUM_REWRITES[@]}" "${TRACKED_CODES[@]}" >/dev/null \
    && judge same "$W/Preferences.repaired" "$W/Preferences.repaired" >/dev/null; then
  pass "the judges find a left MAC, a changed value and an added member, and pass an unchanged file"
else
  fail "a judge missed a spoiled file, or failed an unchanged one"
fi

# ---------------------------------------------------------------- case 2
ROOT2="$W/root-user"
UD2="$ROOT2/$REL_UD"
if qinghe_chromium_make_profile "$UD2" && qinghe_chromium_hijack "$UD2" "$USER_URL"; then
  pass "case 2: the settings page set the user's own $USER_URL as home and startup page"
  judge_users_own_page "$ROOT2" Chromium
else
  fail "case 2: could not set the user's own start page"
fi

finish
