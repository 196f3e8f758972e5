#!/usr/bin/env bash
# The real Firefox judges what profile_repair does to a profile whose
# default search engine (and private-browsing one) a hijacker set.
#
#   bash firefox_search_judges_test.sh PROFILE_REPAIR_BINARY SCRATCH_DIR
#
# Firefox makes the profile (tests/real_browsers/firefox_lib.sh), then, asked
# over Marionette in a headless session, adds a search engine on the
# hijacker's host and makes it the default and the private default: Firefox
# itself writes search.json.mozlz4 with the engine, the ids and their hashes.
#   - a second session without the repair still searches with it (the file
#     is what steers Firefox);
#   - the check names the engine twice and changes no file;
#   - the repair reports the profile restored and changes no file but
#     search.json.mozlz4, whose JSON lost exactly the engine and the four
#     members selecting it;
#   - Firefox started again searches with its own default (its
#     appDefaultEngine) in both modes, no longer lists the engine, and
#     records no corrupt settings file;
#   - an undo, on a copy taken before Firefox ran again, puts every file
#     back byte for byte.
# Each session is headless, on the profile's own throwaway HOME, with every
# connection sent to a closed local port, and ended by its PID.
# Prints PASS/FAIL lines and a summary; exit 0 when all pass, 1 on a
# failure, 77 when no Firefox is installed or it has no Marionette.

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/../skip_guard.sh
source "$HERE/../skip_guard.sh"
JUDGES_NAME=firefox_search_judges
# shellcheck source=SCRIPTDIR/judges_lib.sh
source "$HERE/judges_lib.sh"
judges_arguments "$@"
# shellcheck source=SCRIPTDIR/firefox_lib.sh
source "$HERE/firefox_lib.sh"
# shellcheck source=SCRIPTDIR/firefox_search_lib.sh
source "$HERE/firefox_search_lib.sh"
if ! program=$(_qinghe_firefox_program 2>/dev/null) || [[ ! -x "$program" ]]; then
  qinghe_skip "no Firefox installed"
fi
judges_begin

USER_URL=https://www.user-home.cn/
ENGINE=搜索助手
REL_FF="Users/u/AppData/Roaming/Mozilla/Firefox"
REL_P="$REL_FF/Profiles/x.default"
REL_BUNDLES="Users/u/AppData/Local/qinghe"
WHO="浏览器主页：Firefox（x.default）"

JUDGE="$W/judge.py"
{
  printf '%s\n' "$QINGHE_TREE_PY"
  cat <<'PY'
import ctypes, json, struct

LZ4 = ctypes.CDLL("liblz4.so.1")

def settings(path):
    """search.json.mozlz4 decompressed by the LZ4 library itself."""
    data = open(path, "rb").read()
    assert data[:8] == b"mozLz40\0", "no mozLz4 magic"
    size = struct.unpack("<I", data[8:12])[0]
    out = ctypes.create_string_buffer(size)
    got = LZ4.LZ4_decompress_safe(data[12:], out, len(data) - 12, size)
    assert got == size, "LZ4 gave %d of %d bytes" % (got, size)
    return json.loads(out.raw.decode("utf-8"))

def cmd_selection(path):
    """The ids metaData selects and their hashes, and the default engine's
    name and load path: one line."""
    s = settings(path)
    m = s.get("metaData", {})
    d = m.get("defaultEngineId")
    engine = next((e for e in s["engines"] if e.get("id") == d), {})
    print(json.dumps([d, bool(m.get("defaultEngineIdHash")), m.get("privateDefaultEngineId"),
                      bool(m.get("privateDefaultEngineIdHash")), engine.get("_name"),
                      engine.get("_loadPath")], ensure_ascii=False))

def cmd_only_hijack_removed(before, after):
    """after is before without the engine the default names and the four
    members selecting it, everything else equal, in order."""
    b, a = settings(before), settings(after)
    gone = b["metaData"]["defaultEngineId"]
    b["engines"] = [e for e in b["engines"] if e.get("id") != gone]
    for k in ("defaultEngineId", "defaultEngineIdHash", "privateDefaultEngineId",
              "privateDefaultEngineIdHash"):
        b["metaData"].pop(k, None)
    same = json.dumps(b, ensure_ascii=False) == json.dumps(a, ensure_ascii=False)
    print("engines before %d, after %d; metaData after: %s" % (
        len(settings(before)["engines"]), len(a["engines"]), sorted(a["metaData"])))
    sys.exit(0 if same else 1)

cmd = sys.argv[1].replace("-", "_")
globals()["cmd_" + cmd](*sys.argv[2:])
PY
} >"$JUDGE"
judge() { python3 "$JUDGE" "$@"; }

# What Firefox searches with now, in both modes, and the engines it lists.
ASK_DEFAULTS='
const d = await S.getDefault(), p = await S.getDefaultPrivate();
return { default: d.name, private: p.name, app: S.appDefaultEngine.name,
         appPrivate: S.appPrivateDefaultEngine.name,
         engines: (await S.getEngines()).map(e => e.name),
         corrupt: Services.prefs.getIntPref("browser.search.lastSettingsCorruptTime", 0) };'

echo "Firefox: $("$program" --version 2>/dev/null) ($program)"
ROOT="$W/root"
P="$ROOT/$REL_P"
mkdir -p "$ROOT/Users/u/AppData/Local"
if ! qinghe_firefox_make_profile "$P"; then
  fail "Firefox could not make a profile"; finish
fi
printf '[General]\nStartWithLastProfile=1\nVersion=2\n\n[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/x.default\nDefault=1\n' \
  >"$ROOT/$REL_FF/profiles.ini"
out=$(qinghe_firefox_search_hijack "$P" "$ENGINE" "http://so.hijack.test/s?q={searchTerms}")
echo "      hijack session: $out"
sel=$(judge selection "$P/search.json.mozlz4" 2>&1)
if [[ "$out" == "\"$ENGINE\"" && "$sel" == "[\""*"\", true, \""*"\", true, \"$ENGINE\", \"[user]\"]" ]]; then
  pass "Firefox wrote its search settings selecting the engine, with both hashes"
  show <<<"$sel"
else
  fail "Firefox did not take the engine as its default"; show <<<"$out"; show <<<"$sel"; finish
fi

SNAP="$W/hijacked"
cp -a "$ROOT" "$SNAP"
# Without a repair, Firefox goes on searching with it.
CONTROL="$W/control"
cp -a "$ROOT" "$CONTROL"
cp -a "${P}.home" "$CONTROL/$REL_P.home"
out=$(qinghe_firefox_ask "$CONTROL/$REL_P" "$ASK_DEFAULTS")
if [[ "$out" == *"\"default\": \"$ENGINE\""* && "$out" == *"\"private\": \"$ENGINE\""* ]]; then
  pass "control: restarted unrepaired, Firefox still searches with the engine"
else
  fail "control: Firefox dropped the engine by itself"; show <<<"$out"
fi

judge tree "$ROOT" "$W/tree.hijacked.json"
"$TOOL" "$ROOT" check "$USER_URL" >"$W/check.log" 2>&1
if grep -qxF "${WHO}默认搜索引擎 现为 \"$ENGINE\"，将删除" <(tr -d '\r' <"$W/check.log") &&
   grep -qxF "${WHO}隐私浏览默认搜索引擎 现为 \"$ENGINE\"，将删除" <(tr -d '\r' <"$W/check.log"); then
  pass "check names the engine as default and private default"
  grep -F "$WHO" "$W/check.log" | show
else
  fail "check does not name the engine"; show <"$W/check.log"
fi
judge_check_changed_nothing

judge_repair_reports_restored
judge tree "$ROOT" "$W/tree.repaired.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.repaired.json" \
    "$REL_P/search.json.mozlz4" "$REL_BUNDLES"); then
  pass "repair changed no file but search.json.mozlz4 (and wrote its bundle)"
else
  fail "repair changed other files"; show <<<"$out"
fi
if out=$(judge only-hijack-removed "$SNAP/$REL_P/search.json.mozlz4" "$P/search.json.mozlz4" 2>&1); then
  pass "search.json lost exactly the engine and the members selecting it"
  show <<<"$out"
else
  fail "the repair's edit of search.json is not just the hijack"; show <<<"$out"
fi

# The judge itself fails an edit that removed nothing.
if judge only-hijack-removed "$SNAP/$REL_P/search.json.mozlz4" "$SNAP/$REL_P/search.json.mozlz4" >/dev/null 2>&1; then
  fail "the edit judge passes an unrepaired file"
else
  pass "the edit judge fails an unrepaired file"
fi

REPAIRED="$W/repaired"
cp -a "$ROOT" "$REPAIRED"
out=$(qinghe_firefox_ask "$P" "$ASK_DEFAULTS")
echo "      after the repair: $out"
if python3 - "$out" "$ENGINE" <<'PY'
import json, sys
a = json.loads(sys.argv[1])
ok = (a.get("default") == a.get("app") and a.get("private") == a.get("appPrivate")
      and a.get("default") and sys.argv[2] not in a.get("engines", []) and a.get("corrupt") == 0)
sys.exit(0 if ok else 1)
PY
then
  pass "repaired: Firefox searches with its own default in both modes and lists no such engine"
else
  fail "repaired: Firefox does not search with its own default"
fi

"$TOOL" "$REPAIRED" undo >"$W/undo.log" 2>&1
judge tree "$REPAIRED" "$W/tree.undone.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.undone.json" "$REL_BUNDLES"); then
  pass "undo put every file back byte for byte"
else
  fail "undo left differences"; show <<<"$out"; show <"$W/undo.log"
fi
finish
