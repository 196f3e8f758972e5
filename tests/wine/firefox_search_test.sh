#!/usr/bin/env bash
# Firefox's default search engine on a whole machine under Wine, through
# qinghe-cli: a real search.json.mozlz4, written by Debian's Firefox after a
# session made a hijacker's engine its default and private default, in a
# Firefox profile where Firefox keeps them on Windows; beside it a profile
# whose default is another of Firefox's own engines (the user's choice), one
# whose search file is cut short, and one whose search file is a bare header
# declaring 4 GiB beside a hijacked start page in prefs.js.
# - the check names the engine twice and leaves the cut file's profile with
#   its reason; the repair removes the engine and what selects it, and the
#   start page beside the bare header, and no other byte of any file (the
#   header stays); the user's profile is never named;
# - the undo gives every byte back.
# Usage: firefox_search_test.sh ARCH PREFIX-ROOT QINGHE-CLI
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/../real_browsers/firefox_lib.sh"
source "$here/../real_browsers/firefox_search_lib.sh"

if ! command -v firefox-esr >/dev/null; then
  qinghe_skip "Debian's firefox-esr makes this test's search settings"
fi

qinghe_test_prefix "$root" "$arch" firefox_search
user_dir=$(qinghe_wine_user_dir "$prefix")
address=https://www.user-home.cn/
engine=搜索助手

made="$prefix/made"
rm -rf "$made" && mkdir -p "$made"
make() { (set +e; "$@" >"$made/make.log" 2>&1) || { cat "$made/make.log"; exit 1; }; }
make qinghe_firefox_make_profile "$made/firefox"
make qinghe_firefox_search_hijack "$made/firefox" "$engine" "http://so.hijack.test/s?q={searchTerms}"
check_true "Firefox wrote its search settings" test -s "$made/firefox/search.json.mozlz4"

firefox="$user_dir/AppData/Roaming/Mozilla/Firefox"
mkdir -p "$firefox/Profiles"
hijacked="$firefox/Profiles/ab.default-release"
cp -r "$made/firefox" "$hijacked"
rm -f "$hijacked/"{lock,.parentlock}
# The user's own choice: Firefox's Bing, by the same file with the selection
# changed.
mine="$firefox/Profiles/cd.mine"
mkdir -p "$mine"
cp "$made/firefox/prefs.js" "$mine/"
qinghe_mozlz4_text "$made/firefox/search.json.mozlz4" | python3 -c '
import json, sys
s = json.load(sys.stdin)
s["metaData"].update(defaultEngineId="bing", privateDefaultEngineId="bing")
sys.stdout.write(json.dumps(s, ensure_ascii=False, separators=(",", ":")))' |
  qinghe_mozlz4_write "$mine/search.json.mozlz4"
broken="$firefox/Profiles/ef.broken"
mkdir -p "$broken"
cp "$made/firefox/prefs.js" "$broken/"
head -c -5 "$made/firefox/search.json.mozlz4" >"$broken/search.json.mozlz4"
header="$firefox/Profiles/gh.header"
mkdir -p "$header"
{ cat "$made/firefox/prefs.js"
  echo 'user_pref("browser.startup.homepage", "http://so.hijack.test/");'; } >"$header/prefs.js"
printf 'mozLz40\0\xff\xff\xff\xff' >"$header/search.json.mozlz4"
printf '[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/ab.default-release\r\n' \
  >"$firefox/profiles.ini"

snapshot() { (cd "$user_dir/AppData" && find . -path ./Local/qinghe -prune -o -type f -print0 |
  sort -z | xargs -0 sha256sum); }
run() { wine "$cli" "$@" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' || true; }
before=$(snapshot)

check=$(run check "$address")
check_equal "the check changed nothing" "$before" "$(snapshot)"
lines=$(grep '^浏览器主页：' <<<"$check" || true)
want="浏览器主页：Firefox（ab.default-release）默认搜索引擎 现为 \"$engine\"，将删除
浏览器主页：Firefox（ab.default-release）隐私浏览默认搜索引擎 现为 \"$engine\"，将删除
浏览器主页：Firefox（ef.broken）search.json.mozlz4 压缩数据已损坏，不会修改
浏览器主页：Firefox（gh.header）prefs.js browser.startup.homepage 现为 \"http://so.hijack.test/\"，将删除
浏览器主页：Firefox（gh.header）search.json.mozlz4 声明的大小超过 16 MiB，不会修改"
check_equal "the check names the engine, the cut file and the start page beside the header" \
  "$want" "$lines"

log=$(run repair "$address")
lines=$(grep '^浏览器主页：' <<<"$log" || true)
want="浏览器主页：Firefox（ab.default-release）已恢复默认
浏览器主页：Firefox（ef.broken）未修改：search.json.mozlz4 压缩数据已损坏
浏览器主页：Firefox（gh.header）已恢复默认；search.json.mozlz4 声明的大小超过 16 MiB，不会修改"
check_equal "one line a profile" "$want" "$lines"
changed=$(diff <(echo "$before") <(snapshot) | grep '^>' | sed 's/.*  //' || true)
check_equal "only the hijacked search file and the start page changed" \
  "./Roaming/Mozilla/Firefox/Profiles/ab.default-release/search.json.mozlz4
./Roaming/Mozilla/Firefox/Profiles/gh.header/prefs.js" "$changed"
check_equal "the start page went from prefs.js" "$(cat "$made/firefox/prefs.js")" \
  "$(cat "$header/prefs.js")"
left=$(qinghe_mozlz4_text "$hijacked/search.json.mozlz4" | python3 -c '
import json, sys
s = json.load(sys.stdin)
selecting = ("defaultEngineId", "defaultEngineIdHash", "privateDefaultEngineId", "privateDefaultEngineIdHash")
print(sorted(k for k in s["metaData"] if k in selecting),
      [e["_name"] for e in s["engines"] if e.get("_loadPath") == "[user]"])')
check_equal "no selection and no hijacker's engine left" "[] []" "$left"
before_json=$(qinghe_mozlz4_text "$made/firefox/search.json.mozlz4" | python3 -c '
import json, sys
s = json.load(sys.stdin)
gone = s["metaData"]["defaultEngineId"]
s["engines"] = [e for e in s["engines"] if e.get("id") != gone]
for k in ("defaultEngineId", "defaultEngineIdHash", "privateDefaultEngineId", "privateDefaultEngineIdHash"):
    s["metaData"].pop(k, None)
print(json.dumps(s, ensure_ascii=False))')
after_json=$(qinghe_mozlz4_text "$hijacked/search.json.mozlz4" | python3 -c '
import json, sys
print(json.dumps(json.load(sys.stdin), ensure_ascii=False))')
check_equal "everything else of search.json is as Firefox wrote it" "$before_json" "$after_json"

undo=$(run undo)
check_true "the undo ran" grep -q '^撤销' <<<"$undo"
check_equal "the undo gave every byte back" "$before" "$(snapshot)"
check_summary
