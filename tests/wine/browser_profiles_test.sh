#!/usr/bin/env bash
# The browsers' own start pages on a whole machine under Wine, through
# qinghe-cli: a real profile made and hijacked by Debian's Chromium (through
# its own settings page, so it wrote the values and their codes) placed where
# each of the nine Chromium-family browsers keeps its profiles on Windows, in
# both layouts; a real Firefox profile hijacked through user.js; a running
# browser (its lock file held by another process as the browser holds it); a
# profile that is a link.
# - the check names every hijacked setting; the repair removes exactly those
#   values and their codes and reports one line a profile; other files stay;
# - a running browser's profile is left, with the line asking to close it;
# - the undo gives every byte back.
# Usage: browser_profiles_test.sh ARCH PREFIX-ROOT QINGHE-CLI FS-PROBE
set -euo pipefail
arch=$1 root=$2 cli=$3 fs_probe=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/../real_browsers/chromium_lib.sh"
source "$here/../real_browsers/firefox_lib.sh"

if ! qinghe_chromium_bin >/dev/null 2>&1 || ! command -v firefox-esr >/dev/null; then
  qinghe_skip "Debian's chromium and firefox-esr make this test's profiles"
fi

qinghe_test_prefix "$root" "$arch" browser_profiles
user_dir=$(qinghe_wine_user_dir "$prefix")
local_dir="$user_dir/AppData/Local"
roaming_dir="$user_dir/AppData/Roaming"
hijack=http://hao.hijack.test/
address=https://www.user-home.cn/

# The real profiles, made once for this prefix.
made="$prefix/made"
rm -rf "$made" && mkdir -p "$made"
# The harnesses test their own results and are written without set -e.
make() { (set +e; "$@" >"$made/make.log" 2>&1) || { cat "$made/make.log"; exit 1; }; }
make qinghe_chromium_make_profile "$made/chromium"
make qinghe_chromium_hijack "$made/chromium" "$hijack"
make qinghe_firefox_make_profile "$made/firefox"
make qinghe_firefox_hijack "$made/firefox" "$hijack"

# Where each browser keeps its user-data folder (docs/browser-profiles.md).
places=(
  "Local/Google/Chrome/User Data" "Local/Chromium/User Data" "Local/Microsoft/Edge/User Data"
  "Roaming/360se6/User Data" "Local/360Chrome/Chrome/User Data" "Local/Tencent/QQBrowser/User Data"
  "Roaming/SogouExplorer/Webkit" "Local/2345Explorer/User Data" "Local/liebao/User Data"
)
for place in "${places[@]}"; do
  data="$user_dir/AppData/$place"
  mkdir -p "$data/Default"
  cp "$made/chromium/Local State" "$data/"
  cp "$made/chromium/Default/Preferences" "$made/chromium/Default/Secure Preferences" "$data/Default/"
done
# Edge as its Windows build keeps them: the values and codes in Secure
# Preferences.
python3 - "$local_dir/Microsoft/Edge/User Data/Default" <<'EOF'
import json, sys
folder = sys.argv[1]
prefs = json.load(open(folder + "/Preferences", encoding="utf-8"))
secure = {"protection": {"macs": {}, "super_mac": "00"}}
for key in ("homepage", "homepage_is_newtabpage"):
    secure[key] = prefs.pop(key)
    for suffix in ("", "_encrypted_hash"):
        secure["protection"]["macs"][key + suffix] = prefs["protection"]["macs"].pop(key + suffix)
secure["session"] = prefs.pop("session")
secure["protection"]["macs"]["session"] = prefs["protection"]["macs"].pop("session")
json.dump(prefs, open(folder + "/Preferences", "w", encoding="utf-8"), separators=(",", ":"))
json.dump(secure, open(folder + "/Secure Preferences", "w", encoding="utf-8"), separators=(",", ":"))
EOF
# A second Chrome profile, the user's own choice, and one that is a link.
chrome="$local_dir/Google/Chrome/User Data"
mkdir -p "$chrome/Profile 1"
printf '{"homepage":"%s","session":{"restore_on_startup":1}}' "$address" >"$chrome/Profile 1/Preferences"
mkdir -p "$user_dir/elsewhere"
cp "$made/chromium/Default/Preferences" "$user_dir/elsewhere/"
# Wine shows a Unix link to a folder as a reparse point, as Windows a junction.
ln -s "$user_dir/elsewhere" "$chrome/Linked"
firefox="$roaming_dir/Mozilla/Firefox"
mkdir -p "$firefox/Profiles"
cp -r "$made/firefox" "$firefox/Profiles/ab.default-release"
rm -f "$firefox/Profiles/ab.default-release/"{lock,.parentlock}
printf '[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/ab.default-release\r\n' \
  >"$firefox/profiles.ini"

snapshot() { (cd "$user_dir/AppData" && find . -path ./Local/qinghe -prune -o -type f ! -name lockfile -print0 |
  sort -z | xargs -0 sha256sum); }
run() { wine "$cli" "$@" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' || true; }
before=$(snapshot)

# QQ浏览器 is running: its lockfile held as Chromium holds it.
qq='C:\users\'"$(basename "$user_dir")"'\AppData\Local\Tencent\QQBrowser\User Data\lockfile'
wine "$fs_probe" hold "$qq" read 60 >"$prefix/hold.out" &
holder=$!
for _ in $(seq 100); do grep -q held "$prefix/hold.out" 2>/dev/null && break; sleep 0.1; done
check_true "the lock file is held" grep -q held "$prefix/hold.out"

check=$(run check "$address")
check_equal "the check changed nothing" "$before" "$(snapshot)"
for browser in Chrome Chromium Edge 360安全浏览器 360极速浏览器 QQ浏览器 搜狗高速浏览器 2345加速浏览器 猎豹安全浏览器; do
  check_true "check names $browser's home page" grep -qF "浏览器主页：$browser（Default）homepage 现为 \"$hijack\"，将删除" <<<"$check"
done
check_true "check names Firefox's user.js" grep -qF "浏览器主页：Firefox（ab.default-release）user.js browser.startup.homepage 现为 \"$hijack\"，将删除" <<<"$check"
check_true "check says QQ浏览器 runs" grep -qF "浏览器主页：QQ浏览器（Default）浏览器正在运行，修复前请先关闭" <<<"$check"
check_true "check reports the link" grep -qF "浏览器主页：Chrome（Linked）配置文件夹是链接，不会修改" <<<"$check"
check_fails "check leaves the user's own profile" grep -qF "Profile 1" <<<"$check"

log=$(run repair "$address")
lines=$(grep '^浏览器主页：' <<<"$log" || true)
want="浏览器主页：Chrome（Default）已恢复默认
浏览器主页：Chrome（Linked）未修改：配置文件夹是链接
浏览器主页：Chromium（Default）已恢复默认
浏览器主页：Edge（Default）已恢复默认
浏览器主页：360安全浏览器（Default）已恢复默认
浏览器主页：360极速浏览器（Default）已恢复默认
浏览器主页：QQ浏览器（Default）已跳过，请先关闭浏览器
浏览器主页：搜狗高速浏览器（Default）已恢复默认
浏览器主页：2345加速浏览器（Default）已恢复默认
浏览器主页：猎豹安全浏览器（Default）已恢复默认
浏览器主页：Firefox（ab.default-release）已恢复默认"
check_equal "one line a profile, in order" "$want" "$lines"
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true

# What the repair left, judged by reading the JSON.
left_settings() {  # FOLDER: the start settings and their codes still present
  python3 - "$1" <<'EOF'
import json, sys
found = []
for name in ("Preferences", "Secure Preferences"):
    try:
        data = json.load(open(sys.argv[1] + "/" + name, encoding="utf-8"))
    except FileNotFoundError:
        continue
    macs = data.get("protection", {}).get("macs", {})
    for path in ("homepage", "homepage_is_newtabpage", "session.restore_on_startup", "session.startup_urls"):
        for tree, prefix in ((data, ""), (macs, "mac:")):
            node = tree
            for key in path.split("."):
                node = node.get(key) if isinstance(node, dict) else None
            if node is not None:
                found.append(prefix + path)
            enc = tree
            for key in (path + "_encrypted_hash").split("."):
                enc = enc.get(key) if isinstance(enc, dict) else None
            if enc is not None:
                found.append(prefix + path + "_encrypted_hash")
print(" ".join(found))
EOF
}
for place in "${places[@]}"; do
  folder="$user_dir/AppData/$place/Default"
  if [[ $place == */QQBrowser/* ]]; then
    check_true "the running browser's profile is untouched" \
      cmp -s "$made/chromium/Default/Preferences" "$folder/Preferences"
  else
    check_equal "$place: no start setting or code left" "" "$(left_settings "$folder")"
  fi
done
check_true "the user's own profile is untouched" grep -qF "\"homepage\":\"$address\"" "$chrome/Profile 1/Preferences"
check_true "the file behind the link is untouched" cmp -s "$made/chromium/Default/Preferences" "$user_dir/elsewhere/Preferences"
ff="$firefox/Profiles/ab.default-release"
check_fails "prefs.js lost the hijack" grep -qF "$hijack" "$ff/prefs.js"
check_fails "user.js lost the hijack" grep -qF "$hijack" "$ff/user.js"
check_equal "prefs.js lost only the start lines" \
  "$(grep -v 'browser.startup.homepage\|browser.startup.page' "$made/firefox/prefs.js")" "$(cat "$ff/prefs.js")"

undo=$(run undo)
check_true "the undo ran" grep -q '^撤销' <<<"$undo"
check_equal "the undo gave every byte back" "$before" "$(snapshot)"
check_summary
