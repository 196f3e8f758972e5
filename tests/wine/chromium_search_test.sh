#!/usr/bin/env bash
# A hijacked search engine and extensions in Chromium-family profiles on a
# whole machine under Wine, through qinghe-cli: a real profile made by
# Debian's Chromium, then given what a hijacker writes (a default engine of
# its host with its codes, an entry of an extension installed from outside
# the store with its codes and its folder), placed as Chrome keeps it
# (Linux's layout: values and codes in Preferences) and as Edge keeps it
# (Windows' layout: in Secure Preferences); a 360 profile whose extension
# came from the store.
# - the check names the engine and each extension with what it overrides;
# - the repair reports one line a profile, takes the values, the entries and
#   their codes and nothing else, and leaves the extensions' folders;
# - the store extension is said, never changed;
# - the undo gives every byte back.
# Usage: chromium_search_test.sh ARCH PREFIX-ROOT QINGHE-CLI
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/../real_browsers/chromium_lib.sh"

if ! qinghe_chromium_bin >/dev/null 2>&1; then
  qinghe_skip "Debian's chromium makes this test's profile"
fi

qinghe_test_prefix "$root" "$arch" chromium_search
user_dir=$(qinghe_wine_user_dir "$prefix")
address=https://www.user-home.cn/
made="$prefix/made"
rm -rf "$made" && mkdir -p "$made"
(set +e; qinghe_chromium_make_profile "$made/chromium" >"$made/make.log" 2>&1) || { cat "$made/make.log"; exit 1; }

hijacker=hijackerhijackerhijackerhijacker
store=storestorestorestorestorestorest
# seed FOLDER LAYOUT ORIGIN: the profile in FOLDER/Default as a hijacker
# leaves it; LAYOUT linux or windows; ORIGIN outside or store.
seed() {
  local data=$1 layout=$2 origin=$3
  mkdir -p "$data/Default"
  cp "$made/chromium/Local State" "$data/"
  cp "$made/chromium/Default/Preferences" "$made/chromium/Default/Secure Preferences" "$data/Default/"
  python3 - "$data/Default" "$layout" "$origin" "$hijacker" "$store" <<'PY'
import json, os, sys
folder, layout, origin, hijacker, store = sys.argv[1:]
prefs = json.load(open(folder + "/Preferences", encoding="utf-8"))
secure = json.load(open(folder + "/Secure Preferences", encoding="utf-8"))
target = prefs if layout == "linux" else secure
macs = target.setdefault("protection", {}).setdefault("macs", {})
ext_id = hijacker if origin == "outside" else store
entry = {"location": 1, "from_webstore": origin == "store", "path": ext_id + "\\1.0_0",
         "state": 1, "was_installed_by_default": False}
if origin == "outside":
    target.setdefault("default_search_provider_data", {})["template_url_data"] = {
        "short_name": "好搜导航", "keyword": "hao", "prepopulate_id": 0,
        "url": "https://s.hao.hijack.test/s?q={searchTerms}"}
    macs.setdefault("default_search_provider_data", {}).update(
        {"template_url_data": "A" * 64, "template_url_data_encrypted_hash": "djEwAA=="})
target.setdefault("extensions", {}).setdefault("settings", {})[ext_id] = entry
macs.setdefault("extensions", {}).setdefault("settings", {})[ext_id] = "B" * 64
macs["extensions"].setdefault("settings_encrypted_hash", {})[ext_id] = "djEwBB=="
json.dump(prefs, open(folder + "/Preferences", "w", encoding="utf-8"), ensure_ascii=False, separators=(",", ":"))
json.dump(secure, open(folder + "/Secure Preferences", "w", encoding="utf-8"), ensure_ascii=False, separators=(",", ":"))
ext = folder + "/Extensions/" + ext_id + "/1.0_0"
os.makedirs(ext + "/_locales/zh_CN")
manifest = {"name": "__MSG_name__", "default_locale": "zh_CN", "version": "1.0", "manifest_version": 3,
            "chrome_settings_overrides": {"homepage": "http://hao.hijack.test/",
                                          "search_provider": {"search_url": "https://s.hao.hijack.test/?q={searchTerms}"}}}
if origin == "store":
    manifest = {"name": "Tab Page", "version": "1.0", "chrome_url_overrides": {"newtab": "tab.html"}}
json.dump(manifest, open(ext + "/manifest.json", "w", encoding="utf-8"))
json.dump({"name": {"message": "好搜起始页"}}, open(ext + "/_locales/zh_CN/messages.json", "w", encoding="utf-8"), ensure_ascii=False)
PY
}
chrome="$user_dir/AppData/Local/Google/Chrome/User Data"
edge="$user_dir/AppData/Local/Microsoft/Edge/User Data"
se="$user_dir/AppData/Roaming/360se6/User Data"
seed "$chrome" linux outside
seed "$edge" windows outside
seed "$se" linux store
cp "$chrome/Default/Preferences" "$made/chrome.Preferences"
cp "$se/Default/Preferences" "$made/360.Preferences"

snapshot() { (cd "$user_dir/AppData" && find . -path ./Local/qinghe -prune -o -type f ! -name lockfile -print0 |
  sort -z | xargs -0 sha256sum); }
run() { wine "$cli" "$@" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' || true; }
before=$(snapshot)

check=$(run check "$address")
check_equal "the check changed nothing" "$before" "$(snapshot)"
for browser in Chrome Edge; do
  check_true "check names $browser's engine" grep -qF "浏览器主页：$browser（Default）default_search_provider_data.template_url_data 现为 \"好搜导航 https://s.hao.hijack.test/s?q={searchTerms}\"，将删除" <<<"$check"
  check_true "check names $browser's extension" grep -qF "浏览器主页：$browser（Default）扩展程序“__MSG_name__”（$hijacker）改写了主页、搜索引擎，将删除" <<<"$check"
done
store_note="浏览器主页：360安全浏览器（Default）扩展程序“Tab Page”（$store）改写了新标签页，请在浏览器的扩展程序页面中删除"
check_true "check says the store extension" grep -qF "$store_note" <<<"$check"

log=$(run repair "$address")
lines=$(grep '^浏览器主页：' <<<"$log" || true)
want="浏览器主页：Chrome（Default）已恢复默认
浏览器主页：Edge（Default）已恢复默认
$store_note"
check_equal "one line a profile" "$want" "$lines"

left() {  # FOLDER: what of the hijack is left in either file
  python3 - "$1" "$hijacker" <<'PY'
import json, sys
found = []
for name in ("Preferences", "Secure Preferences"):
    text = open(sys.argv[1] + "/" + name, encoding="utf-8").read()
    for needle in (sys.argv[2], "template_url_data", "hao.hijack.test"):
        if needle in text:
            found.append(name + ":" + needle)
print(" ".join(found))
PY
}
check_equal "Chrome: nothing of the hijack left" "" "$(left "$chrome/Default")"
check_equal "Edge: nothing of the hijack left" "" "$(left "$edge/Default")"
check_true "the store extension's profile is untouched" cmp -s "$made/360.Preferences" "$se/Default/Preferences"
check_true "the extension's folder is left for the browser" test -f "$chrome/Default/Extensions/$hijacker/1.0_0/manifest.json"
python3 - "$made/chrome.Preferences" "$chrome/Default/Preferences" "$hijacker" <<'PY' && r=0 || r=$?
import json, sys
before, after = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:3])
i = sys.argv[3]
del before["default_search_provider_data"]["template_url_data"]
del before["protection"]["macs"]["default_search_provider_data"]["template_url_data"]
del before["protection"]["macs"]["default_search_provider_data"]["template_url_data_encrypted_hash"]
del before["extensions"]["settings"][i]
del before["protection"]["macs"]["extensions"]["settings"][i]
del before["protection"]["macs"]["extensions"]["settings_encrypted_hash"][i]
sys.exit(0 if before == after else 1)
PY
check_equal "Chrome's Preferences lost exactly the hijack" 0 "$r"

undo=$(run undo)
check_true "the undo ran" grep -q '^撤销' <<<"$undo"
check_equal "the undo gave every byte back" "$before" "$(snapshot)"
check_summary
