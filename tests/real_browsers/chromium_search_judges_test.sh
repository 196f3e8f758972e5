#!/usr/bin/env bash
# The real Chromium judges what profile_repair does to a profile whose
# search engine, or whose extensions, a hijacker set.
#
#   bash chromium_search_judges_test.sh PROFILE_REPAIR_BINARY SCRATCH_DIR
#
# Case 1, search engine: Chromium's own settings page (chrome://settings/
# searchEngines: the messages its page sends, searchEngineEditStarted,
# searchEngineEditCompleted, setDefaultSearchEngine) adds an engine of a
# hijacker's host and makes it the default, so Chromium writes
# default_search_provider_data.template_url_data with its MAC and encrypted
# hash (and the untracked mirror beside it).
#   - the check names it; the repair reports the profile restored and takes
#     the value, its mirror and their codes, nothing else;
#   - Chromium started again: the default is one of its own prepopulated
#     engines, no reset recorded (prefs.preference_reset_time,
#     prefs.tracked_preferences_reset), no Preferences.bad, a setting set
#     beside it (browser.show_home_button) kept;
#   - the undo, on a copy taken before Chromium ran again, gives every byte back.
# Case 2, extension: a packed extension (chromium --pack-extension) whose
# manifest declares chrome_settings_overrides (homepage, search_provider)
# and chrome_url_overrides.newtab, installed through the external-extension
# file Debian's Chromium reads (/usr/share/chromium/extensions/<id>.json),
# in a private mount namespace so no other process sees it; Chromium writes
# the entry (location 2, kExternalPref) and its codes itself, and its new
# tab page is the extension's. (Chromium ignores chrome_settings_overrides
# on Linux: its manifest feature is for Windows and macOS only.)
#   - the check names it with what it overrides; the repair removes its
#     extensions.settings entry and both codes, and leaves its folder;
#   - Chromium started again with the route removed: no entry of it, the
#     new tab page is Chromium's own, no reset recorded;
#   - the undo gives every byte back.
# Prints PASS/FAIL lines and a summary; exit 0 when all pass, 1 on a
# failure, 77 when no Chromium binary is installed.

set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=SCRIPTDIR/../skip_guard.sh
source "$HERE/../skip_guard.sh"
JUDGES_NAME=chromium_search_judges
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

USER_URL=https://www.user-home.cn/
REL_UD="Users/u/AppData/Local/Chromium/User Data"
WHO="浏览器主页：Chromium（Default）"
export PYTHONPATH="$HERE${PYTHONPATH:+:$PYTHONPATH}"

# Drives the settings page; prints a JSON line of what the page says.
#   drive UD ACTION [SWITCH...]   ACTION: hijack-search | state
drive() {
  local ud=$1 action=$2
  shift 2
  python3 - "$ud" "$action" "$@" <<'PY' 2>>"$W/chromium.log"
import json, os, sys, time
from chromium_devtools import Browser

ud, action, switches = sys.argv[1], sys.argv[2], sys.argv[3:]
b = Browser(os.environ['QINGHE_CHROMIUM_LIB'], ud, switches)
cr = 'import("chrome://resources/js/cr.js").then(cr => cr.sendWithPromise(%s))'
def engines(s):
    found = b.evaluate(cr % '"getSearchEnginesList"', s)
    return [e for group in found.values() for e in group]
try:
    s = b.page('chrome://settings/searchEngines',
               'typeof chrome !== "undefined" && !!chrome.settingsPrivate')
    if action == 'hijack-search':
        b.evaluate('chrome.send("searchEngineEditStarted", [0])', s)
        b.evaluate('chrome.send("searchEngineEditCompleted", ["Hao", "hao", '
                   '"https://s.hao.hijack.test/s?q=%s"])', s)
        for _ in range(50):
            hao = [e for e in engines(s) if e['name'] == 'Hao']
            if hao: break
            time.sleep(0.1)
        # ChoiceMadeLocation::kSearchEngineSettings
        b.evaluate('chrome.send("setDefaultSearchEngine", [%d, 2, null])' % hao[0]['id'], s)
        b.evaluate('chrome.settingsPrivate.setPref("browser.show_home_button", true, "")', s)
        time.sleep(1)
    state = {'default': [e['name'] for e in engines(s) if e['default']],
             'prepopulated': [e['isPrepopulated'] for e in engines(s) if e['default']],
             'engines': sorted(e['name'] for e in engines(s)),
             'home_button': b.evaluate('chrome.settingsPrivate.getPref("browser.show_home_button")'
                                       '.then(p => p.value)', s)}
    # The new tab page as the browser opens it (an extension's, or its own).
    b.call('Page.navigate', {'url': 'chrome://newtab/'}, s)
    for _ in range(30):
        time.sleep(0.3)
        href = b.evaluate('location.href', s)
        if href != 'chrome://settings/searchEngines': break
    state['newtab'] = href
    print(json.dumps(state))
finally:
    status = b.close()
    if status:
        sys.exit('browser exit status %d' % status)
PY
}

# pref_at FILE DOTTED: the member as JSON, or null.
pref_at() {
  python3 - "$1" "$2" <<'PY'
import json, sys
d = json.load(open(sys.argv[1], encoding='utf-8'))
for k in sys.argv[2].split('.'):
    d = d.get(k) if isinstance(d, dict) else None
print(json.dumps(d))
PY
}
# no_reset UD: no reset recorded in either file, no Preferences.bad.
judge_no_reset() {
  local ud=$1 what=$2 f
  for f in Preferences "Secure Preferences"; do
    for key in prefs.preference_reset_time prefs.tracked_preferences_reset; do
      if [ "$(pref_at "$ud/Default/$f" "$key")" != null ]; then
        fail "$what: $f records $key"
        return
      fi
    done
  done
  if [ -e "$ud/Default/Preferences.bad" ]; then
    fail "$what: Chromium wrote Preferences.bad"
    return
  fi
  pass "$what: no reset recorded, no Preferences.bad"
}
# the tree of every file below a folder, as sha256 lines
tree() { (cd "$1" && find . -type f ! -name 'LOCK' -print0 | sort -z | xargs -0 sha256sum); }

# ---- Case 1: the search engine ---------------------------------------------
R1="$W/search"
UD1="$R1/$REL_UD"
mkdir -p "$(dirname "$UD1")" "$R1/Users/u/AppData/Roaming"
if ! qinghe_chromium_make_profile "$UD1" >>"$W/chromium.log" 2>&1; then
  fail "Chromium made no profile (see $W/chromium.log)"
  finish
fi
hijacked=$(drive "$UD1" hijack-search)
if [ "$(jq -r '.default[0]' <<<"$hijacked" 2>/dev/null)" = Hao ]; then
  pass "the settings page made Hao the default"
else
  fail "the settings page did not make Hao the default: $hijacked"
  finish
fi
mac=$(pref_at "$UD1/Default/Preferences" protection.macs.default_search_provider_data.template_url_data)
hash=$(pref_at "$UD1/Default/Preferences" protection.macs.default_search_provider_data.template_url_data_encrypted_hash)
if [ "$mac" != null ] && [ "$hash" != null ]; then
  pass "Chromium stored the engine with a MAC and an encrypted hash"
else
  fail "Chromium stored no codes for the engine ($mac, $hash)"
fi
before=$(tree "$R1")
check=$("$TOOL" "$R1" check "$USER_URL" | tr -d '\r')
if grep -qF "${WHO}default_search_provider_data.template_url_data 现为 \"Hao https://s.hao.hijack.test/s?q={searchTerms}\"，将删除" <<<"$check"; then
  pass "the check names the engine"
else
  fail "the check does not name the engine"
  show <<<"$check"
fi
[ "$(tree "$R1")" = "$before" ] && pass "the check changed no file" || fail "the check changed a file"
cp -a "$R1" "$W/search.hijacked"
repair=$("$TOOL" "$R1" repair "$USER_URL" | tr -d '\r')
if [ "$(grep "^浏览器主页：" <<<"$repair")" = "${WHO}已恢复默认" ]; then
  pass "the repair says one line: restored"
else
  fail "the repair's lines"
  show <<<"$repair"
fi
python3 - "$W/search.hijacked/$REL_UD/Default/Preferences" "$UD1/Default/Preferences" <<'PY' && pass "the repair took the engine, its mirror and their codes, nothing else" || fail "the repair changed more or less than the engine"
import json, sys
before, after = (json.load(open(p, encoding='utf-8')) for p in sys.argv[1:3])
gone = [('default_search_provider_data', 'template_url_data'),
        ('default_search_provider_data', 'mirrored_template_url_data'),
        ('protection', 'macs', 'default_search_provider_data', 'template_url_data'),
        ('protection', 'macs', 'default_search_provider_data', 'template_url_data_encrypted_hash')]
for path in gone:
    d = before
    for k in path[:-1]: d = d[k]
    del d[path[-1]]
sys.exit(0 if before == after else 1)
PY
cp -a "$R1" "$W/search.repaired"
again=$(drive "$UD1" state)
if [ "$(jq -r '.default[0]' <<<"$again")" != Hao ] && [ "$(jq -r '.prepopulated[0]' <<<"$again")" = true ]; then
  pass "Chromium started again uses its own engine: $(jq -c .default <<<"$again")"
else
  fail "Chromium started again: $again"
fi
[ "$(jq -r .home_button <<<"$again")" = true ] && pass "the setting beside it is kept" || fail "show_home_button lost: $again"
judge_no_reset "$UD1" "search"
undo=$("$TOOL" "$W/search.repaired" undo)
if [ "$(tree "$W/search.repaired" | grep -v "AppData/Local/qinghe")" = "$(tree "$W/search.hijacked" | grep -v "AppData/Local/qinghe")" ]; then
  pass "the undo gave every byte back"
else
  fail "the undo left a difference"
  show <<<"$undo"
fi

# ---- Case 2: an extension from outside the store ---------------------------
if ! unshare -m --propagation private true 2>/dev/null; then
  echo "SKIP: case 2 needs a private mount namespace (unshare -m, as root)"
  finish
fi
R2="$W/extension"
UD2="$R2/$REL_UD"
EXT="$W/ext"
ROUTE="$W/share"
mkdir -p "$(dirname "$UD2")" "$R2/Users/u/AppData/Roaming" "$EXT" "$ROUTE/extensions"
cat >"$EXT/manifest.json" <<'JSON'
{"manifest_version": 3, "name": "Hao Start", "version": "1.0",
 "chrome_settings_overrides": {"homepage": "http://hao.hijack.test/",
  "search_provider": {"name": "Hao", "keyword": "hao", "search_url": "https://s.hao.hijack.test/s?q={searchTerms}",
   "favicon_url": "https://s.hao.hijack.test/f.ico", "encoding": "UTF-8", "is_default": true}},
 "chrome_url_overrides": {"newtab": "tab.html"}}
JSON
printf '<title>Hao</title>hao\n' >"$EXT/tab.html"
qinghe_chromium__exec "$W/pack-ud" --pack-extension="$EXT" >>"$W/chromium.log" 2>&1
id=$(openssl rsa -in "$W/ext.pem" -pubout -outform DER 2>/dev/null | sha256sum | head -c32 | tr 0-9a-f a-p)
if [ ! -s "$W/ext.crx" ] || [ ${#id} -ne 32 ]; then
  fail "chromium --pack-extension made no extension"
  finish
fi
[ -e /usr/share/chromium ] || { echo "SKIP: case 2: no /usr/share/chromium to stand in for"; finish; }
cp -a /usr/share/chromium/. "$ROUTE/" 2>/dev/null
rm -f "$ROUTE/extensions/"*.json
printf '{"external_crx": "%s", "external_version": "1.0"}\n' "$W/ext.crx" >"$ROUTE/extensions/$id.json"
qinghe_chromium_make_profile "$UD2" >>"$W/chromium.log" 2>&1
# With the route: Chromium installs it on this start, loads it on the next.
installed=$(unshare -m --propagation private bash -c \
  'mount --bind "$1" /usr/share/chromium && source "$2" && shift 2 && "$@"' _ "$ROUTE" "$HERE/chromium_lib.sh" \
  bash -c "$(declare -f drive); W='$W'; drive '$UD2' state >/dev/null; drive '$UD2' state")
if [ "$(jq -r .newtab <<<"$installed")" = "chrome-extension://$id/tab.html" ]; then
  pass "Chromium installed the extension; its new tab page applies"
else
  fail "the extension did not install: $installed"
  finish
fi
location=$(pref_at "$UD2/Default/Preferences" "extensions.settings.$id.location")
mac=$(pref_at "$UD2/Default/Preferences" "protection.macs.extensions.settings.$id")
hash=$(pref_at "$UD2/Default/Preferences" "protection.macs.extensions.settings_encrypted_hash.$id")
if [ "$location" = 2 ] && [ "$mac" != null ] && [ "$hash" != null ]; then
  pass "Chromium wrote the entry (location 2) with a MAC and an encrypted hash"
else
  fail "the entry: location $location, MAC $mac, encrypted hash $hash"
fi
check=$("$TOOL" "$R2" check "$USER_URL" | tr -d '\r')
if grep -qF "${WHO}扩展程序“Hao Start”（$id）改写了主页、搜索引擎、新标签页，将删除" <<<"$check"; then
  pass "the check names the extension and what it overrides"
else
  fail "the check does not name the extension"
  show <<<"$check"
fi
cp -a "$R2" "$W/extension.hijacked"
repair=$("$TOOL" "$R2" repair "$USER_URL" | tr -d '\r')
[ "$(grep "^浏览器主页：" <<<"$repair")" = "${WHO}已恢复默认" ] && pass "the repair says one line: restored" ||
  { fail "the repair's lines"; show <<<"$repair"; }
python3 - "$W/extension.hijacked/$REL_UD/Default/Preferences" "$UD2/Default/Preferences" "$id" <<'PY' && pass "the repair took the entry and both codes, nothing else" || fail "the repair changed more or less than the entry"
import json, sys
before, after = (json.load(open(p, encoding='utf-8')) for p in sys.argv[1:3])
i = sys.argv[3]
del before['extensions']['settings'][i]
del before['protection']['macs']['extensions']['settings'][i]
del before['protection']['macs']['extensions']['settings_encrypted_hash'][i]
sys.exit(0 if before == after else 1)
PY
[ -f "$UD2/Default/Extensions/$id/1.0_0/manifest.json" ] && pass "the extension's folder is left for the browser" ||
  fail "the extension's folder is gone"
cp -a "$R2" "$W/extension.repaired"
again=$(drive "$UD2" state)
if [ "$(pref_at "$UD2/Default/Preferences" "extensions.settings.$id")" = null ] &&
  [ "$(jq -r .newtab <<<"$again")" != "chrome-extension://$id/tab.html" ]; then
  pass "Chromium started again without the route: no extension, its own new tab page ($(jq -r .newtab <<<"$again"))"
else
  fail "Chromium started again: $again"
fi
judge_no_reset "$UD2" "extension"
"$TOOL" "$W/extension.repaired" undo >/dev/null
if [ "$(tree "$W/extension.repaired" | grep -v "AppData/Local/qinghe")" = "$(tree "$W/extension.hijacked" | grep -v "AppData/Local/qinghe")" ]; then
  pass "the undo gave every byte back"
else
  fail "the undo left a difference"
fi
finish
