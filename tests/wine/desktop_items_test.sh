#!/usr/bin/env bash
# Desktop namespace items under Wine, through qinghe-cli, against the real
# registry seeded by Wine's own reg.exe (the machine's in both views in the
# 64-bit prefix):
# - the prefix as Wine makes it: no line (Wine's own items stay);
# - the check names a fake Internet Explorer opening a page (the user's),
#   a look-alike Chrome running another program (the machine's, both
#   views), an item whose class a context-menu handler names (its entry
#   goes, its class stays) and the value hiding the real Internet Explorer;
#   the repair says the same findings done, and nothing more;
# - a cloud-storage folder with its website as a verb, and an item running
#   the real Chrome, stay;
# - the undo gives every key and value back, as reg.exe lists them;
# - a user's entry naming the shell's link object leaves the machine's class.
# Usage: desktop_items_test.sh ARCH PREFIX-ROOT QINGHE-CLI
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
space='Software\Microsoft\Windows\CurrentVersion\Explorer\Desktop\NameSpace'
classes='Software\Classes\CLSID'
hidden='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\HideDesktopIcons\NewStartPanel'
ie='{871C5380-42A0-1069-A2EA-08002B30309D}'
fake_ie='{A1B2C3D4-0000-4000-8000-00000000000A}'
fake_chrome='{A1B2C3D4-0000-4000-8000-00000000000B}'
named='{A1B2C3D4-0000-4000-8000-00000000000C}'
cloud='{B1B2C3D4-0000-4000-8000-00000000000A}'
own_chrome='{B1B2C3D4-0000-4000-8000-00000000000B}'
iexplore='C:\Program Files\Internet Explorer\iexplore.exe'
chrome='C:\Program Files\Google\Chrome\Application\chrome.exe'

# An entry in ROOT's namespace and its class in CLASS-ROOT: name, icon, verb,
# command.
item() {
  local entry_root=$1 class_root=$2 clsid=$3 name=$4 icon=$5 verb=$6 command=$7
  put "$entry_root\\$space\\$clsid" /ve /d "$name"
  put "$class_root\\$classes\\$clsid" /ve /d "$name"
  [ -n "$icon" ] && put "$class_root\\$classes\\$clsid\\DefaultIcon" /ve /d "$icon"
  put "$class_root\\$classes\\$clsid\\shell\\$verb\\command" /ve /d "$command"
}
seed() {
  item HKCU HKCU "$fake_ie" 'Internet Explorer' "$iexplore,0" open \
    "\"$iexplore\" http://hijack.example/"
  item HKLM HKLM "$fake_chrome" 'Browser' 'C:\Keeper\chrome.exe,0' open 'C:\Keeper\keeper.exe'
  put "HKLM\\$classes\\$fake_chrome" /v LocalizedString /d 'Google Chrome'
  item HKLM HKLM "$named" 'Nav' '' open 'cmd /c start http://hijack.example/nav'
  put 'HKLM\Software\Classes\*\shellex\ContextMenuHandlers\Nav' /ve /d "$named"
  put "$hidden" /v "$ie" /t REG_DWORD /d 1
  item HKCU HKCU "$cloud" 'Netdisk' 'C:\Netdisk\netdisk.exe,0' website \
    'explorer.exe https://pan.baidu.com/'
  put "HKCU\\$classes\\$cloud\\Instance" /v CLSID /d '{0E5AAE11-A475-4c5b-AB00-C66DE400274E}'
  put "HKCU\\$classes\\$cloud\\Instance\\InitPropertyBag" /v TargetFolderPath /d 'C:\Netdisk'
  item HKLM HKLM "$own_chrome" 'Google Chrome' "$chrome,0" open "\"$chrome\" --profile-directory=Default"
}
# Every key the test seeds, in each view, as reg.exe lists it.
listing() {
  local keys=("HKCU\\$space" "HKLM\\$space" "$hidden" 'HKLM\Software\Classes\*\shellex') clsid
  for clsid in "$fake_ie" "$fake_chrome" "$named" "$cloud" "$own_chrome"; do
    keys+=("HKCU\\$classes\\$clsid" "HKLM\\$classes\\$clsid")
  done
  reg_listing "${keys[@]}"
}
our_lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep -E '^桌面图标：' || true; }
run() { wine "$@" || true; }

qinghe_test_prefix "$root" "$arch" desktop_items
check_equal "Wine's own desktop items say nothing" "" "$(run "$cli" check "$address" | our_lines)"
seed
before=$(listing)
check_true "the items were seeded" grep -q "$fake_chrome" <<<"$before"

found="桌面图标：\"Browser\"（$fake_chrome）显示为浏览器 Google Chrome，却不运行它，将删除
桌面图标：\"Nav\"（$named）打开 http://hijack.example/nav，将删除
桌面图标：\"Internet Explorer\"（$fake_ie）打开 http://hijack.example/，将删除
桌面图标：真正的Internet Explorer 图标被隐藏（HKEY_CURRENT_USER\\${hidden#HKCU\\}\\$ie），将恢复显示"
check=$(run "$cli" check "$address" | our_lines)
check_equal "the check names each hijacker's item once, and the hiding value" "$found" "$check"
check_equal "the check changed nothing" "$before" "$(listing)"

repair=$(run "$cli" repair "$address" | our_lines)
check_equal "the repair says the check's findings done" \
  "$(sed -e 's/，将删除$/，已删除/' -e 's/，将恢复显示$/，已恢复显示/' <<<"$found")" "$repair"
for view in "${views[@]}"; do
  check_fails "gone in $view: the look-alike's entry" reg_has_key "HKLM\\$space\\$fake_chrome" "$view"
  check_fails "gone in $view: the look-alike's class" reg_has_key "HKLM\\$classes\\$fake_chrome" "$view"
  check_fails "gone in $view: the named item's entry" reg_has_key "HKLM\\$space\\$named" "$view"
  check_true "kept in $view: the named item's class" reg_has_key "HKLM\\$classes\\$named" "$view"
  check_true "kept in $view: the real Chrome's item" reg_has_key "HKLM\\$space\\$own_chrome" "$view"
done
check_fails "gone: the fake Internet Explorer" reg_has_key "HKCU\\$space\\$fake_ie" /reg:32
check_fails "gone: its class" reg_has_key "HKCU\\$classes\\$fake_ie" "${views[0]}"
check_true "kept: the cloud folder" reg_has_key "HKCU\\$space\\$cloud" /reg:32
# The value's name is no pattern for reg_value: its line read as text.
shown=$(reg_exe query "$hidden" /v "$ie" /reg:32 | grep -F "    $ie " | sed 's/^ *{[^}]*} *//' || true)
check_equal "the real Internet Explorer shown" "REG_DWORD    0x0" "$shown"
check_equal "a second check finds nothing" "" "$(run "$cli" check "$address" | our_lines)"

undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_equal "the undo gives every key and value back" "$before" "$(listing)"

# A standard user's entry naming the shell's own link object, as Wine
# registers it under the machine's classes: the name from the entry alone,
# then with a class of the user's beside it opening a page. The entry (and
# the user's class) go; the machine's class, which every shortcut is made
# through, stays as Wine made it, and the line says so.
link='{00021401-0000-0000-C000-000000000046}'
check_true "Wine registers the shell's link object" reg_has_key "HKLM\\$classes\\$link" "${views[0]}"
machine_link=$(reg_listing "HKLM\\$classes\\$link")
kept="（HKEY_LOCAL_MACHINE\\\\.*$link 由 Windows 自带的文件 .* 提供，保留）"
put "HKCU\\$space\\$link" /ve /d 'Internet Explorer'
repair=$(run "$cli" repair "$address" | our_lines)
check_true "the entry alone: removed, the machine's class said kept" grep -qi \
  "^桌面图标：\"Internet Explorer\"（$link）显示为浏览器 Internet Explorer，却不运行它，已删除$kept$" \
  <<<"$repair"
check_fails "gone: the user's entry" reg_has_key "HKCU\\$space\\$link" /reg:32
check_equal "the machine's class as Wine made it" "$machine_link" \
  "$(reg_listing "HKLM\\$classes\\$link")"
item HKCU HKCU "$link" 'Internet Explorer' '' open 'cmd /c start http://hijack.example/'
repair=$(run "$cli" repair "$address" | our_lines)
check_true "with the user's class: removed, the machine's class said kept" grep -qi \
  "^桌面图标：\"Internet Explorer\"（$link）打开 http://hijack.example/，已删除$kept$" <<<"$repair"
check_fails "gone: the user's entry again" reg_has_key "HKCU\\$space\\$link" /reg:32
check_fails "gone: the user's class" reg_has_key "HKCU\\$classes\\$link" "${views[0]}"
check_equal "the machine's class still as Wine made it" "$machine_link" \
  "$(reg_listing "HKLM\\$classes\\$link")"
check_summary
