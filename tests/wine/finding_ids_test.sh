#!/usr/bin/env bash
# Findings that share a name still have ids of their own under Wine: both
# user-data folders of 360安全浏览器 (an upgrade leaves the old one), each with
# a hijacked Default, and a desktop look-alike whose arguments are a finding
# apart from its target. `repair --only` with one id changes exactly that one.
# Usage: finding_ids_test.sh ARCH PREFIX-ROOT QINGHE-CLI-EXE LNK-PROBE-EXE
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" finding_ids
user_dir=$(qinghe_wine_user_dir "$prefix")
user="C:\\users\\$(basename "$user_dir")"
hijacked='{"homepage":"http://hao.evil.cn/","homepage_is_newtabpage":false}'
old_prefs="$user_dir/AppData/Roaming/360se6/User Data/Default/Preferences"
new_prefs="$user_dir/AppData/Local/360Browser/Browser/User Data/Default/Preferences"
for prefs in "$old_prefs" "$new_prefs"; do
  mkdir -p "$(dirname "$prefs")"
  printf '%s' "$hijacked" >"$prefs"
done

edge='C:\Program Files\Microsoft\Edge\Application\msedge.exe'
wine cmd /c mkdir 'C:\Program Files\Microsoft\Edge\Application' >/dev/null 2>&1 || true
cp "$prefix/drive_c/windows/system32/notepad.exe" "$(winepath -u "$edge" 2>/dev/null)"
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\msedge.exe' \
  /ve /d "\"$edge\"" /f >/dev/null
link="$user\\Desktop\\Microsoft Edge.lnk"
wine "$lnk_probe" write "$link" 'target=C:\Windows\system32\cmd.exe' \
  'arguments=/c start http://hao.example/' 'working_directory=C:\' >/dev/null

address=https://www.user-home.cn/
list() { wine "$cli" check --list "$address" | iconv -f GBK -t UTF-8 | tr -d '\r'; }
# The id of the finding whose check lines start with $1.
id_of() { awk -F'\t' -v what="$1" 'index($3, what) == 1 { print $1; exit }' <<<"$2"; }
target() {
  wine "$lnk_probe" read "$link" | iconv -f GBK -t UTF-8 | tr -d '\r' | sed -n 's/^target: //p'
}

first=$(list || true)
old_id=$(id_of '浏览器主页：360安全浏览器（360se6\User Data\Default）' "$first")
new_id=$(id_of '浏览器主页：360安全浏览器（360Browser\Browser\User Data\Default）' "$first")
arguments_id=$(id_of '快捷方式：Microsoft Edge.lnk（参数' "$first")
lookalike_id=$(id_of '仿冒快捷方式：Microsoft Edge.lnk' "$first")
for id in old_id new_id arguments_id lookalike_id; do
  check_true "$id is found" grep -Eq '^[0-9a-f]{8}$' <<<"${!id}"
done
check_equal "no id is listed twice" "" "$(cut -f1 <<<"$first" | sort | uniq -d)"
check_equal "two checks give the same ids" "$first" "$(list || true)"

log=$(wine "$cli" repair "$address" --only "$old_id" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
check_equal "--only the old folder's profile says one line" \
  '浏览器主页：360安全浏览器（360se6\User Data\Default）已恢复默认' "$log"
check_equal "the old folder's Preferences is repaired" '{}' "$(cat "$old_prefs")"
check_equal "the new folder's is left" "$hijacked" "$(cat "$new_prefs")"
check_equal "the link is left" 'C:\Windows\system32\cmd.exe' "$(target)"

log=$(wine "$cli" repair "$address" --only "$lookalike_id" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
check_equal "--only the look-alike says its one line" '修复仿冒快捷方式：Microsoft Edge.lnk' "$log"
check_equal "the look-alike leads to Edge" "$edge" "$(target)"
check_equal "the new folder's profile is still left" "$hijacked" "$(cat "$new_prefs")"
check_summary
