#!/usr/bin/env bash
# The real Firefox judges what profile_repair does to a profile into which a
# hijacker dropped an add-on that takes over the home page and the new tab
# page.
#
#   bash firefox_extensions_judges_test.sh PROFILE_REPAIR_BINARY SCRATCH_DIR
#
# Firefox makes the profile (tests/real_browsers/firefox_lib.sh) with the
# user's own home page; an unsigned add-on is dropped into its extensions
# folder, and user.js lets Firefox take it (signatures off, no scope
# disabled, the profile scanned at startup: what a sideloading hijacker
# writes). A headless session installs it: Firefox itself writes
# extensions.json (foreignInstall) and extension-settings.json.
#   - a second session without the repair still starts on the add-on's page;
#   - the check names the add-on and its file and changes no file;
#   - the repair moves the add-on's file into the bundle and cuts its
#     entries from extension-settings.json (and removes the home page from
#     prefs.js: the profile's own Step), no other file;
#   - Firefox started again, without the startup scan (its default), no
#     longer has the add-on nor its page, and writes none of its settings
#     back;
#   - a control without the cut shows why it is made: the add-on's file
#     alone moved away, Firefox drops the add-on but keeps its settings in
#     extension-settings.json and never puts the user's page back;
#   - an undo, on a copy taken before Firefox ran again, puts every file
#     back byte for byte.
# Prints PASS/FAIL lines and a summary; exit 0 when all pass, 1 on a
# failure, 77 when no Firefox is installed.

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/../skip_guard.sh
source "$HERE/../skip_guard.sh"
JUDGES_NAME=firefox_extensions_judges
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
HIJACK_URL=http://start.hijack.test/
ID=keeper@hijack.test
REL_FF="Users/u/AppData/Roaming/Mozilla/Firefox"
REL_P="$REL_FF/Profiles/x.default"
REL_BUNDLES="Users/u/AppData/Local/qinghe"
REL_XPI="$REL_P/extensions/$ID.xpi"
WHO="浏览器外部扩展：Firefox（x.default）"
LINE="${WHO}扩展 $ID（Start Keeper）把主页改为 \"$HIJACK_URL\"（C:\\${REL_XPI//\//\\}）"

JUDGE="$W/judge.py"
printf '%s\n%s\n' "$QINGHE_TREE_PY" 'globals()["cmd_" + sys.argv[1].replace("-", "_")](*sys.argv[2:])' \
  >"$JUDGE"
judge() { python3 "$JUDGE" "$@"; }

# What Firefox has now: the add-on and the home page, once the add-on manager
# has settled (the add-on gone or running, as expected).
ask() {
  qinghe_firefox_ask "$P" "
const { AddonManager } = ChromeUtils.importESModule('resource://gre/modules/AddonManager.sys.mjs');
const { setTimeout } = ChromeUtils.importESModule('resource://gre/modules/Timer.sys.mjs');
let a;
for (let i = 0; i < 100; i++) {
  a = await AddonManager.getAddonByID('$ID');
  const home = Services.prefs.getStringPref('browser.startup.homepage', '');
  if ($1) break;
  await new Promise(r => setTimeout(r, 100));
}
return { addon: a ? { active: a.isActive, foreign: a.foreignInstall } : null,
         home: Services.prefs.getStringPref('browser.startup.homepage', '') };"
}

echo "Firefox: $("$program" --version 2>/dev/null) ($program)"
ROOT="$W/root"
P="$ROOT/$REL_P"
mkdir -p "$ROOT/Users/u/AppData/Local"
if ! qinghe_firefox_make_profile "$P"; then
  fail "Firefox could not make a profile"; finish
fi
printf '[General]\nStartWithLastProfile=1\nVersion=2\n\n[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/x.default\nDefault=1\n' \
  >"$ROOT/$REL_FF/profiles.ini"
# The user's own home page, as Firefox saves a choice.
printf 'user_pref("browser.startup.homepage", "%s");\n' "$USER_URL" >>"$P/prefs.js"
mkdir -p "$P/extensions"
python3 - "$ROOT/$REL_XPI" "$ID" "$HIJACK_URL" <<'PY'
import json, sys, zipfile
manifest = {"manifest_version": 2, "name": "Start Keeper", "version": "1.0",
            "browser_specific_settings": {"gecko": {"id": sys.argv[2]}},
            "chrome_settings_overrides": {"homepage": sys.argv[3]},
            "chrome_url_overrides": {"newtab": "tab.html"}}
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("manifest.json", json.dumps(manifest))
    z.writestr("tab.html", "<title>tab</title>")
PY
printf '%s\n' 'user_pref("xpinstall.signatures.required", false);' \
  'user_pref("extensions.autoDisableScopes", 0);' \
  'user_pref("extensions.startupScanScopes", 1);' >>"$P/user.js"
out=$(ask "a && a.isActive && home == '$HIJACK_URL'")
echo "      install session: $out"
if [[ "$out" == *'"active": true, "foreign": true'* && "$out" == *"\"home\": \"$HIJACK_URL\""* ]] &&
   grep -qF "\"$ID\"" "$P/extension-settings.json" 2>/dev/null; then
  pass "Firefox took the dropped-in add-on and its home page, and recorded both"
else
  fail "Firefox did not take the add-on"; show <<<"$out"; finish
fi

SNAP="$W/hijacked"
cp -a "$ROOT" "$SNAP"
CONTROL="$W/control"
cp -a "$ROOT" "$CONTROL"
cp -a "${P}.home" "$CONTROL/$REL_P.home"
out=$(P="$CONTROL/$REL_P" ask "a && a.isActive")
if [[ "$out" == *"\"home\": \"$HIJACK_URL\""* && "$out" == *'"active": true'* ]]; then
  pass "control: restarted unrepaired, Firefox still runs the add-on and its page"
else
  fail "control: Firefox dropped the add-on by itself"; show <<<"$out"
fi

judge tree "$ROOT" "$W/tree.hijacked.json"
"$TOOL" "$ROOT" check "$USER_URL" >"$W/check.log" 2>&1
if grep -qxF "$LINE，将删除" <(tr -d '\r' <"$W/check.log"); then
  pass "check names the add-on and its file"
else
  fail "check does not name the add-on"; show <"$W/check.log"
fi
judge_check_changed_nothing

"$TOOL" "$ROOT" repair "$USER_URL" >"$W/repair.log" 2>&1
if grep -qxF "$LINE，已删除" <(tr -d '\r' <"$W/repair.log"); then
  pass "repair reports the add-on removed"
else
  fail "repair does not report the add-on removed"; show <"$W/repair.log"
fi
judge tree "$ROOT" "$W/tree.repaired.json"
if [[ ! -e "$ROOT/$REL_XPI" ]] && ! grep -qF "\"$ID\"" "$P/extension-settings.json" &&
   out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.repaired.json" \
     "$REL_XPI" "$REL_P/prefs.js" "$REL_P/extension-settings.json" "$REL_BUNDLES"); then
  pass "repair moved the add-on's file, cut its settings and changed no file but prefs.js"
else
  fail "repair changed other files, or left the add-on"; show <<<"${out:-}"
fi

REPAIRED="$W/repaired"
cp -a "$ROOT" "$REPAIRED"
# The control: only the add-on's file moved away, as a person would.
LEFT="$W/file-only"
cp -a "$SNAP" "$LEFT"
cp -a "${P}.home" "$LEFT/$REL_P.home"
rm "$LEFT/$REL_XPI"
grep -v startupScanScopes "$LEFT/$REL_P/user.js" >"$W/user.js" && cp "$W/user.js" "$LEFT/$REL_P/user.js"
out=$(P="$LEFT/$REL_P" ask "!a")
echo "      file alone removed: $out"
if [[ "$out" == *'"addon": null'* && "$out" != *"\"home\": \"$USER_URL\""* ]] &&
   grep -qF "\"$ID\"" "$LEFT/$REL_P/extension-settings.json"; then
  pass "control: the file alone removed, Firefox keeps the add-on's settings and not the user's page"
else
  fail "control: Firefox cleaned the add-on's settings by itself"
  show <"$LEFT/$REL_P/extension-settings.json"
fi
# Firefox's default: no startup scan of the profile.
grep -v startupScanScopes "$P/user.js" >"$W/user.js" && cp "$W/user.js" "$P/user.js"
out=$(ask "!a")
echo "      after the repair: $out"
if [[ "$out" == *'"addon": null'* && "$out" != *"$HIJACK_URL"* ]]; then
  pass "repaired: Firefox has no such add-on and does not start on its page"
else
  fail "repaired: Firefox still has the add-on or its page"
fi
if [[ -s "$P/extension-settings.json" ]] && ! grep -qF "\"$ID\"" "$P/extension-settings.json"; then
  pass "repaired: Firefox wrote none of the add-on's settings back"
else
  fail "repaired: extension-settings.json names the add-on again"
  show <"$P/extension-settings.json"
fi

"$TOOL" "$REPAIRED" undo >"$W/undo.log" 2>&1
judge tree "$REPAIRED" "$W/tree.undone.json"
if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.undone.json" "$REL_BUNDLES"); then
  pass "undo put every file back byte for byte"
else
  fail "undo left differences"; show <<<"$out"; show <"$W/undo.log"
fi
finish
