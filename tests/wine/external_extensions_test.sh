#!/usr/bin/env bash
# Extensions installed from outside the store, under Wine, through
# qinghe-cli, against the real registry seeded by Wine's own reg.exe (in both
# views in the 64-bit prefix):
# - the check names each registration from a crx file or a foreign address
#   to be removed, and each from a store, or of a type the browser cannot
#   read, to be left;
# - ExtensionSettings loses only its installing entries, as a string and as
#   a key;
# - an old Chromium's JSON file beside the installed chrome.exe that installs
#   a crx goes into the bundle; a store's stays;
# - the repair removes those and leaves the rest, as reg.exe sees in each
#   view; the undo gives every key, value and file back exactly.
# Usage: external_extensions_test.sh ARCH PREFIX-ROOT QINGHE-CLI
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
crx_id=abcdefghijklmnopabcdefghijklmnop
url_id=ponmlkjihgfedcbaponmlkjihgfedcba
store_id=bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb
chrome='HKLM\Software\Google\Chrome\Extensions'
user_chrome='HKCU\Software\Google\Chrome\Extensions'
edge='HKLM\Software\Microsoft\Edge\Extensions'
chromium='HKLM\Software\Chromium\Extensions'
policy='HKLM\Software\Policies\Google\Chrome'
edge_settings='HKLM\Software\Policies\Microsoft\Edge\ExtensionSettings'
kept_json='{"*": {"installation_mode": "blocked"}}'

seed() {
  put "$chrome\\$crx_id" /v path /d 'C:\Keeper\page.crx'
  put "$chrome\\$crx_id" /v version /d '1.0'
  put "$user_chrome\\$url_id" /v update_url /d 'http://hijack.example/update.xml'
  put "$edge\\$store_id" /v update_url /d 'https://edge.microsoft.com/extensionwebstorebase/v1/crx'
  put "$chromium\\$crx_id" /v update_url /t REG_DWORD /d 7
  put "$chrome\\not-an-id" /v update_url /d 'http://hijack.example/update.xml'
  put "$policy" /v ExtensionSettings \
    /d '{"*": {"installation_mode": "blocked"}, "abcdefghijklmnopabcdefghijklmnop": {"installation_mode": "force_installed"}}'
  put "$edge_settings\\$url_id" /v installation_mode /d normal_installed
  put "$edge_settings\\*" /v installation_mode /d blocked
  put 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\chrome.exe' /ve \
    /d 'C:\Program Files\Google\Chrome\Application\chrome.exe'
  mkdir -p "$files"
  printf 'MZ' >"$install/chrome.exe"
  printf '{"%s": {"external_crx": "page.crx", "external_version": "1.0"}}\r\n' "$crx_id" \
    >"$files/external_extensions.json"
  printf '{"external_update_url": "https://clients2.google.com/service/update2/crx"}' \
    >"$files/$store_id.json"
}
# Every key the test seeds below, in each view, as reg.exe lists it: one line
# per value, led by its key, sorted.
listing() {
  reg_listing 'HKLM\Software\Google' 'HKCU\Software\Google' 'HKLM\Software\Microsoft\Edge' \
    'HKLM\Software\Chromium' 'HKLM\Software\Policies'
}
our_lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep -E '^浏览器(外部扩展|策略)：' || true; }
run() { wine "$@" || true; }

qinghe_test_prefix "$root" "$arch" external_extensions
install="$prefix/drive_c/Program Files/Google/Chrome/Application"
files="$install/49.0.2623.112/extensions"
seed
list_sum=$(sha256sum <"$files/external_extensions.json")
before=$(listing)
check_true "the registrations were seeded" grep -q "$crx_id" <<<"$before"
check_true "the policy's JSON was seeded as written" grep -qF \
  '"abcdefghijklmnopabcdefghijklmnop": {"installation_mode": "force_installed"}' <<<"$before"

# The machine's Software is redirected for the 32-bit view: the 64-bit
# prefix shows a registration the views hold alike once, under the 64-bit
# view's name, the view first read.
machine='HKEY_LOCAL_MACHINE\Software'
first=$machine
ext='浏览器外部扩展：'
expected_check="${ext}Chrome 扩展 $crx_id（$first\\Google\\Chrome\\Extensions\\$crx_id）从商店以外安装（C:\\Keeper\\page.crx），将删除
${ext}Chrome 扩展 $url_id（HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\$url_id）从商店以外安装（http://hijack.example/update.xml），将删除
${ext}Chromium 扩展 $crx_id（$first\\Chromium\\Extensions\\$crx_id）的值类型不对，浏览器不会读取，不会修改
${ext}Edge 扩展 $store_id（$first\\Microsoft\\Edge\\Extensions\\$store_id）从应用商店安装（https://edge.microsoft.com/extensionwebstorebase/v1/crx），不会修改"
expected_policies="浏览器策略：Chrome ExtensionSettings（$machine\\Policies\\Google\\Chrome）有 1 项安装扩展，将删除
浏览器策略：Edge ExtensionSettings\\$url_id（$machine\\Policies\\Microsoft\\Edge）有 1 项，将删除"
windows_files='C:\Program Files\Google\Chrome\Application\49.0.2623.112\extensions'
expected_check="$expected_check
${ext}扩展文件 $windows_files\\$store_id.json 从应用商店安装（https://clients2.google.com/service/update2/crx），不会修改
${ext}扩展文件 $windows_files\\external_extensions.json 从商店以外安装（page.crx），将删除"
check=$(run "$cli" check "$address" | our_lines)
check_equal "the check names each registration once, and the policy's entries" \
  "$expected_policies
$expected_check" "$check"
check_equal "the check changed nothing" "$before" "$(listing)"

repair=$(run "$cli" repair "$address" | our_lines)
check_equal "the repair's lines" "浏览器策略：Chrome 强制安装的扩展已删除
浏览器策略：Edge 强制安装的扩展已删除
${ext}Chrome 扩展 $crx_id（$first\\Google\\Chrome\\Extensions\\$crx_id）从商店以外安装（C:\\Keeper\\page.crx），已删除
${ext}Chrome 扩展 $url_id（HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\$url_id）从商店以外安装（http://hijack.example/update.xml），已删除
${ext}扩展文件 $windows_files\\external_extensions.json 从商店以外安装（page.crx），已删除" \
  "$repair"
check_fails "gone: the crx's JSON file" test -e "$files/external_extensions.json"
check_true "kept: the store's JSON file" test -e "$files/$store_id.json"
for view in "${views[@]}"; do
  check_fails "gone in $view: the crx registration" reg_has_key "$chrome\\$crx_id" "$view"
  check_fails "gone in $view: the policy's installing key" reg_has_key "$edge_settings\\$url_id" "$view"
  check_true "kept in $view: the store's registration" reg_has_key "$edge\\$store_id" "$view"
  check_true "kept in $view: the wrong-typed registration" reg_has_key "$chromium\\$crx_id" "$view"
  check_true "kept in $view: a key that is no id" reg_has_key "$chrome\\not-an-id" "$view"
  check_true "kept in $view: the policy's blocking key" reg_has_key "$edge_settings\\*" "$view"
  check_equal "kept in $view: the policy's other entry, every byte" "REG_SZ    $kept_json" \
    "$(reg_value "$policy" ExtensionSettings "$view")"
done
check_fails "gone: the user's registration" reg_has_key "$user_chrome\\$url_id" /reg:32

undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_equal "the undo gives every key and value back" "$before" "$(listing)"
check_equal "the undo gives the JSON file back" "$list_sum" \
  "$(sha256sum <"$files/external_extensions.json" 2>/dev/null || true)"
check_summary
