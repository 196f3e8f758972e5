#!/usr/bin/env bash
# Firefox's add-ons from outside the browser, under Wine, through
# qinghe-cli, against the real registry seeded by Wine's own reg.exe (in both
# views in the 64-bit prefix) and a profile's real files where Firefox keeps
# them on Windows:
# - the check names the registration whose add-on takes over the home page
#   and the dropped-in add-on that takes over the new tab page, to be
#   removed; a registration that takes nothing over, one of a type Firefox
#   cannot read, and an add-on from Mozilla's site with its own engine are
#   left (the last never named);
# - the repair deletes the value in every view, moves the file into the
#   bundle and cuts both add-ons' entries from extension-settings.json,
#   every other value and byte kept;
# - the undo gives every value and byte back exactly;
# - through a linked extensions folder the removal is refused, and the
#   undo says nothing of that file.
# Usage: firefox_extensions_test.sh ARCH PREFIX-ROOT QINGHE-CLI
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
machine_key='HKLM\Software\Mozilla\Firefox\Extensions'
user_key='HKCU\Software\Mozilla\Firefox\Extensions'

addon() {  # id location foreign name
  printf '{"id":"%s","version":"1.0","type":"extension","defaultLocale":{"name":"%s"},' "$1" "$4"
  printf '"active":true,"location":"%s","foreignInstall":%s,"path":"C:\\\\Addons\\\\%s.xpi",' \
    "$2" "$3" "$1"
  printf '"installTelemetryInfo":{"source":"amo"}}'
}
entry() { printf '{"id":"%s","installDate":1700000000000,"value":"%s","enabled":true}' "$1" "$2"; }

seed() {
  put "$machine_key" /v keeper@hijack.test /d 'C:\Addons\keeper@hijack.test.xpi'
  put "$machine_key" /v odd@x.test /t REG_DWORD /d 7
  put "$user_key" /v quiet@x.test /d 'C:\Addons\quiet'
  mkdir -p "$profile/extensions"
  printf 'PK\3\4 tab' >"$profile/extensions/tab@hijack.test.xpi"
  printf 'PK\3\4 search' >"$profile/extensions/search@amo.test.xpi"
  printf 'user_pref("browser.zoom.full", true);\n' >"$profile/prefs.js"
  { printf '{"schemaVersion":36,"addons":['
    addon keeper@hijack.test winreg-app-global true Keeper; printf ','
    addon quiet@x.test winreg-app-user true Quiet; printf ','
    addon tab@hijack.test app-profile true Tab; printf ','
    addon search@amo.test app-profile false Search
    printf ']}'; } >"$profile/extensions.json"
  { printf '{"version":2,"prefs":{"homepage_override":{"initialValue":{},"precedenceList":['
    entry keeper@hijack.test http://start.hijack.test/; printf ','
    entry quiet@x.test "$address"
    printf ']}},"url_overrides":{"newTabURL":{"precedenceList":['
    entry tab@hijack.test moz-extension://5c1/tab.html
    printf ']}},"default_search":{"defaultSearch":{"precedenceList":['
    entry search@amo.test Search
    printf ']}}}'; } >"$profile/extension-settings.json"
}
listing() {
  local view key
  for view in "${views[@]}"; do
    for key in 'HKLM\Software\Mozilla' 'HKCU\Software\Mozilla'; do
      { reg_exe query "$key" /s "$view" || true; } | awk -v view="$view" '
        /^HKEY_/ { key = $0; print view " " key; next }
        /^    / { print view " " key " |" $0 }' | LC_ALL=C sort
    done
  done
}
sums() { (cd "$profile" && find . -type f | LC_ALL=C sort | xargs -d '\n' sha256sum); }
has_value() { reg_exe query "$1" /v "$2" "$3" >/dev/null; }
our_lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep -E '^浏览器外部扩展：' || true; }
run() { wine "$@" || true; }

qinghe_test_prefix "$root" "$arch" firefox_extensions
user_dir=$(qinghe_wine_user_dir "$prefix")
firefox="$user_dir/AppData/Roaming/Mozilla/Firefox"
profile="$firefox/Profiles/ab.default-release"
mkdir -p "$profile"
printf '[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/ab.default-release\r\n' \
  >"$firefox/profiles.ini"
seed
before=$(listing)
files_before=$(sums)
check_true "the registration was seeded" grep -q 'keeper@hijack.test' <<<"$before"

ext='浏览器外部扩展：'
machine='HKEY_LOCAL_MACHINE\Software\Mozilla\Firefox\Extensions'
user='HKEY_CURRENT_USER\Software\Mozilla\Firefox\Extensions'
windows_profile='C:\users\'"$(basename "$user_dir")"'\AppData\Roaming\Mozilla\Firefox\Profiles\ab.default-release'
keeper="${ext}Firefox 扩展 keeper@hijack.test（$machine\\keeper@hijack.test，Keeper）把主页改为 \"http://start.hijack.test/\""
tab="${ext}Firefox（ab.default-release）扩展 tab@hijack.test（Tab）把新标签页改为 \"moz-extension://5c1/tab.html\"（$windows_profile\\extensions\\tab@hijack.test.xpi）"
check=$(run "$cli" check "$address" | our_lines)
settings="${ext}Firefox（ab.default-release）extension-settings.json 中扩展"
check_equal "the check names each add-on once" "$keeper，将删除
$settings keeper@hijack.test 的设置，将删除
${ext}Firefox 扩展 odd@x.test（$machine\\odd@x.test）的值类型不对，Firefox 不会读取，不会修改
${ext}Firefox 扩展 quiet@x.test（$user\\quiet@x.test）指向 C:\\Addons\\quiet，不会修改
$tab，将删除
$settings tab@hijack.test 的设置，将删除" "$check"
check_equal "the check changed no value" "$before" "$(listing)"
check_equal "the check changed no file" "$files_before" "$(sums)"

repair=$(run "$cli" repair "$address" | our_lines)
check_equal "the repair's lines" "$keeper，已删除
$tab，已删除" "$repair"
for view in "${views[@]}"; do
  check_fails "gone in $view: the hijacker's registration" \
    has_value "$machine_key" keeper@hijack.test "$view"
  check_true "kept in $view: the wrong-typed registration" has_value "$machine_key" odd@x.test "$view"
done
check_true "kept: the user's registration" has_value "$user_key" quiet@x.test /reg:32
check_fails "gone: the dropped-in add-on" test -e "$profile/extensions/tab@hijack.test.xpi"
check_true "kept: the add-on from Mozilla's site" test -e "$profile/extensions/search@amo.test.xpi"
check_equal "kept: every other file of the profile" \
  "$(grep -v -e tab@hijack -e extension-settings <<<"$files_before")" \
  "$(grep -v extension-settings <<<"$(sums)")"
check_equal "extension-settings.json keeps only the others' entries" \
  "{\"version\":2,\"prefs\":{\"homepage_override\":{\"initialValue\":{},\"precedenceList\":[$(entry quiet@x.test "$address")]}},\"url_overrides\":{},\"default_search\":{\"defaultSearch\":{\"precedenceList\":[$(entry search@amo.test Search)]}}}" \
  "$(cat "$profile/extension-settings.json")"

undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_equal "the undo gives every value back" "$before" "$(listing)"
check_equal "the undo gives every byte back" "$files_before" "$(sums)"

# The profile's extensions folder a link to a folder elsewhere (Wine shows a
# Unix link to a folder as a reparse point): the add-on is judged through
# it, its removal refused, and the undo says nothing of a file it never
# changed.
mv "$profile/extensions" "$prefix/drive_c/elsewhere"
ln -s "$prefix/drive_c/elsewhere" "$profile/extensions"
behind=$(cd "$prefix/drive_c/elsewhere" && sha256sum -- *)
repair=$(run "$cli" repair "$address" | our_lines)
check_true "the removal through the link refused" grep -qxF "$tab，删除失败" <<<"$repair"
check_equal "nothing behind the link changed" "$behind" \
  "$(cd "$prefix/drive_c/elsewhere" && sha256sum -- *)"
undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_fails "the undo names no file it never changed" grep -q 'tab@hijack.test.xpi' <<<"$undo"
check_true "and completes" grep -qx '撤销完成' <<<"$undo"
check_summary
