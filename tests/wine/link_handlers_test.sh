#!/usr/bin/env bash
# Web-link handlers under Wine, through qinghe-cli, against the real
# registry seeded by Wine's own reg.exe (in both views in the 64-bit prefix):
# - a clean prefix (Wine's own http, https, htmlfile and InternetShortcut
#   handlers) adds no line to the check;
# - the check names a browser class with a page appended, a browser class
#   running another program, a shared class running a script, a
#   StartMenuInternet entry with a page, a browser's App Paths entry naming
#   another program, and the default browser (UserChoice) naming the
#   script's class; each browser's own registration and a user's own .url
#   file are left;
# - the repair takes out only what was appended, points the browser's own
#   class back at the installed browser, writes no UserChoice, and the undo
#   gives every value back as reg.exe shows it;
# - on a PC enrolled in device management (the stand-in mdmregistration.dll)
#   whose handlers Windows' DefaultAssociationsConfiguration policy sets,
#   the same finding is shown as the organization's and nothing changes.
# Usage: link_handlers_test.sh ARCH PREFIX-ROOT QINGHE-CLI FAKE-MDMREGISTRATION
set -euo pipefail
arch=$1 root=$2 cli=$3 fake_mdm=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
chrome='C:\Program Files\Google\Chrome\Application\chrome.exe'
firefox='C:\Program Files\Mozilla Firefox\firefox.exe'
ie='C:\Program Files\Internet Explorer\iexplore.exe'
user_classes='HKCU\Software\Classes'
machine_classes='HKLM\Software\Classes'
start_menu='HKLM\Software\Clients\StartMenuInternet'
app_paths='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths'
choice='HKCU\Software\Microsoft\Windows\Shell\Associations\UrlAssociations'
command='shell\open\command'

seed() {
  put "$user_classes\\ChromeHTML\\$command" /ve /d "\"$chrome\" http://hao.example/ --single-argument %1"
  put "$machine_classes\\ChromiumHTM\\$command" /ve /t REG_EXPAND_SZ /d '"C:\Keeper\open.exe" %1'
  put "$machine_classes\\FirefoxURL-308046B0AF4A39CB\\$command" /ve /d "\"$firefox\" -osint -url \"%1\""
  put "$machine_classes\\MSEdgeHTM\\$command" /ve \
    /d '"C:\Program Files (x86)\Microsoft\Edge\Application\msedge.exe" --single-argument %1'
  put "$user_classes\\https\\$command" /ve /d 'wscript.exe C:\Keeper\open.vbs %1'
  put "$start_menu\\IEXPLORE.EXE\\$command" /ve /d "\"$ie\" http://hao.example/"
  put "$start_menu\\Google Chrome\\$command" /ve /d "\"$chrome\""
  put "$app_paths\\chrome.exe" /ve /d "$chrome"
  put "$app_paths\\msedge.exe" /ve /d 'C:\Keeper\open.exe'
  put "$choice\\https\\UserChoice" /v ProgId /d https
  put "$choice\\http\\UserChoice" /v ProgId /d ChromeHTML
  mkdir -p "$(dirname "$(qinghe_wine_c "$prefix" 'Program Files/Google/Chrome/Application/chrome.exe')")"
  printf 'MZ' >"$(qinghe_wine_c "$prefix" 'Program Files/Google/Chrome/Application/chrome.exe')"
  # A user's own Internet shortcut on the desktop.
  printf '[InternetShortcut]\r\nURL=https://www.user-home.cn/news\r\n' >"$desktop/新闻.url"
}
listing() {
  reg_listing "$user_classes\\ChromeHTML" "$machine_classes\\ChromiumHTM" \
    "$machine_classes\\FirefoxURL-308046B0AF4A39CB" "$machine_classes\\MSEdgeHTM" \
    "$user_classes\\https" "$machine_classes\\http" "$machine_classes\\htmlfile" \
    "$machine_classes\\InternetShortcut" "$start_menu" "$app_paths\\chrome.exe" \
    "$app_paths\\msedge.exe" "$choice"
}
# A key's default value in one view: its type and data, or "absent".
default_value() {
  local out
  out=$(reg_exe query "$1" /ve "$2" | grep -E '^    ' | sed -E 's/^    [^ ]+ +//') || true
  echo "${out:-absent}"
}
our_lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep -E '^网页链接：' || true; }
run() { wine "$@" || true; }

qinghe_test_prefix "$root" "$arch" link_handlers
desktop="$(qinghe_wine_user_dir "$prefix")/Desktop"
mkdir -p "$desktop"
check_equal "a clean prefix's handlers add no line" "" "$(run "$cli" check "$address" | our_lines)"

seed
url_sum=$(sha256sum <"$desktop/新闻.url")
before=$(listing)
check_true "the handlers were seeded" grep -qF 'hao.example' <<<"$before"

# Wine shares Software\Classes and the rest between its views: each value is
# told once, under the name of the view read first.
h='HKEY_CURRENT_USER\Software\Classes'
m='HKEY_LOCAL_MACHINE\Software\Classes'
s='HKEY_LOCAL_MACHINE\Software\Clients\StartMenuInternet'
chromium_head="网页链接：ChromiumHTM 的打开命令运行的不是chrome.exe：\"\"C:\\Keeper\\open.exe\" %1\"（$m\\ChromiumHTM\\shell\\open\\command）"
chrome_head="网页链接：ChromeHTML 的打开命令在浏览器后附加了 http://hao.example/（$h\\ChromeHTML\\shell\\open\\command）"
start_head="网页链接：开始菜单的 IEXPLORE.EXE 的打开命令在浏览器后附加了 http://hao.example/（$s\\IEXPLORE.EXE\\shell\\open\\command）"
back="改回 \"\"$chrome\" --single-argument %1\""
expected_left="网页链接：https 的打开命令运行的不是浏览器：\"wscript.exe C:\\Keeper\\open.vbs %1\"（$h\\https\\shell\\open\\command），不会修改
网页链接：App Paths 中的 msedge.exe 指向另一个程序 \"C:\\Keeper\\open.exe\"（HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe），不会修改
网页链接：默认浏览器（https 链接）是 https，它运行的不是浏览器；Windows 不许程序更改这一选择，请在“设置 > 默认应用”（ms-settings:defaultapps）中重新选择浏览器"
check=$(run "$cli" check "$address" | our_lines)
check_true "the check names the browser class with a page" grep -qxF "$chrome_head，将去掉" <<<"$check"
check_true "the check names the class running another program" \
  grep -qxF "$chromium_head，将$back" <<<"$check"
check_true "the check names the start menu's entry" grep -qxF "$start_head，将去掉" <<<"$check"
check_equal "the check tells the rest, once each" "$expected_left" \
  "$(grep -F '不会修改' <<<"$check"; grep -F 'ms-settings' <<<"$check")"
check_equal "six lines in all" 6 "$(grep -c . <<<"$check")"
check_equal "the check changed nothing" "$before" "$(listing)"

repair=$(run "$cli" repair "$address" | our_lines)
check_equal "the repair's lines" "$(printf '%s\n' "$chromium_head，已$back" "$chrome_head，已去掉" \
  "$start_head，已去掉" | LC_ALL=C sort)" "$(LC_ALL=C sort <<<"$repair")"
for view in "${views[@]}"; do
  check_equal "in $view: the page is out, the browser's own arguments in" \
    "REG_SZ    \"$chrome\" --single-argument %1" \
    "$(default_value "$user_classes\\ChromeHTML\\$command" "$view")"
  check_equal "in $view: the browser's class runs the browser again" \
    "REG_EXPAND_SZ    \"$chrome\" --single-argument %1" \
    "$(default_value "$machine_classes\\ChromiumHTM\\$command" "$view")"
  check_equal "in $view: the start menu's entry without its page" "REG_SZ    \"$ie\"" \
    "$(default_value "$start_menu\\IEXPLORE.EXE\\$command" "$view")"
  check_equal "in $view: Firefox's own registration stays" \
    "REG_SZ    \"$firefox\" -osint -url \"%1\"" \
    "$(default_value "$machine_classes\\FirefoxURL-308046B0AF4A39CB\\$command" "$view")"
  check_equal "in $view: the script's class is only told" 'REG_SZ    wscript.exe C:\Keeper\open.vbs %1' \
    "$(default_value "$user_classes\\https\\$command" "$view")"
  check_equal "in $view: UserChoice is never written" 'REG_SZ    https' \
    "$(reg_value "$choice\\https\\UserChoice" ProgId "$view")"
done
check_equal "the user's .url file stays" "$url_sum" "$(sha256sum <"$desktop/新闻.url")"
after=$(run "$cli" check "$address" | our_lines)
check_equal "what is only told is told again, nothing else" "$expected_left" "$after"

undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_equal "the undo gives every value back" "$before" "$(listing)"
wineserver -k >/dev/null 2>&1 || true
wineserver -w

# --- Enrolled in device management, with Windows' association policy.
qinghe_test_prefix "$root" "$arch" link_handlers_enrolled
desktop="$(qinghe_wine_user_dir "$prefix")/Desktop"
mkdir -p "$desktop"
seed
put 'HKLM\Software\Policies\Microsoft\Windows\System' /v DefaultAssociationsConfiguration \
  /d '\\corp\netlogon\associations.xml'
before=$(listing)
system="$prefix/drive_c/windows/$(qinghe_wine_system_dir "$arch")"
rm -f "$system/mdmregistration.dll"
cp "$fake_mdm" "$system/mdmregistration.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mdmregistration=n"
check=$(run "$cli" check "$address" | our_lines)
check_true "an enrolled PC's policy handler is shown as the organization's" \
  grep -qxF "$chrome_head，由组织的设备管理设置，不会修改" <<<"$check"
check_fails "nothing is to be changed" grep -qF '，将' <<<"$check"
check_equal "the repair says nothing of them" "" "$(run "$cli" repair "$address" | our_lines)"
check_equal "the repair changed no handler" "$before" "$(listing)"
check_summary
