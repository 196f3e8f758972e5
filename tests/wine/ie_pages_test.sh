#!/usr/bin/env bash
# Internet Explorer's other pages under Wine, through qinghe-cli, against the
# real registry seeded by Wine's own reg.exe (in both views in the 64-bit
# prefix):
# - a clean prefix (Wine's own values) gives no line;
# - the check names each hijacked value once, and no look-alike (Windows'
#   own values of other versions, an https variant, the user's own page, a
#   provider of the user's that is not the default);
# - the repair sets each to Windows' value of its own type, as reg.exe sees
#   in each view, and removes no search provider;
# - the undo gives every value back exactly;
# - on a PC enrolled in device management (a stand-in mdmregistration.dll),
#   or joined to a domain (a stand-in netapi32.dll), the machine's values
#   and the search scopes are shown and left; the user's Main values are
#   still set back.
# Usage: ie_pages_test.sh ARCH PREFIX-ROOT QINGHE-CLI FAKE-NETAPI32-DLL
#        FAKE-MDMREGISTRATION-DLL
set -euo pipefail
arch=$1 root=$2 cli=$3 fake_netapi=$4 fake_mdm=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
main_u='HKCU\Software\Microsoft\Internet Explorer\Main'
main_m='HKLM\Software\Microsoft\Internet Explorer\Main'
scopes_u='HKCU\Software\Microsoft\Internet Explorer\SearchScopes'
scopes_m='HKLM\Software\Microsoft\Internet Explorer\SearchScopes'
bing='{0633EE93-D776-472f-A0FF-E1416B8B2E3A}'
evil='{11111111-2222-3333-4444-555555555555}'
google='{89418666-DF74-4CAC-A2BD-B69FB4A0228A}'
bing_url='http://www.bing.com/search?q={searchTerms}&src=IE-SearchBox&FORM=IE8SRC'
search_default='http://go.microsoft.com/fwlink/?LinkId=54896'
page_default='http://go.microsoft.com/fwlink/p/?LinkId=255141'

seed() {
  put "$main_u" /v 'Search Page' /d 'http://so.evil.cn/'
  put "$main_u" /v Default_Page_URL /d 'http://hao.evil.cn/'
  put "$main_u" /v Default_Search_URL /d "$search_default"
  put "$main_u" /v 'Local Page' /d 'C:\users\Public\go.htm'
  put "$main_u" /v 'Start Page Redirect Cache' /d "$address"
  put "$main_m" /v 'Search Page' /d 'http://so.evil.cn/?from=ie'
  put "$main_m" /v 'Local Page' /t REG_EXPAND_SZ /d '%TEMP%\go.htm'
  put "$main_m" /v Default_Page_URL /d 'HTTPS://go.microsoft.com/fwlink/?LinkId=69157'
  put "$main_m" /v Default_Search_URL /d 'http://www.microsoft.com/isapi/redir.dll?prd=ie&ar=iesearch'
  put "$main_m" /v 'Start Page Redirect Cache' /d 'http://cn.msn.com/?ocid=iehp'
  put "$scopes_u" /v DefaultScope /d "$evil"
  put "$scopes_u\\$evil" /v URL /d 'http://so.evil.cn/s?w={searchTerms}'
  put "$scopes_u\\$evil" /v DisplayName /d 'Evil'
  put "$scopes_u\\$bing" /v URL /d "$bing_url"
  put "$scopes_u\\$google" /v URL /d 'http://www.google.com/search?q={searchTerms}'
  put "$scopes_m" /v DefaultScope /d "$bing"
  put "$scopes_m\\$bing" /v URL /d 'http://so.evil.cn/b?q={searchTerms}'
}
ie_keys() { reg_listing "$main_u" "$main_m" "$scopes_u" "$scopes_m"; }
ie_lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep '^IE 浏览器：' || true; }
run() { wine "$@" || true; }

hkcu='HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer'
hklm='HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer'
# Each finding: its place and what it holds, then what it becomes.
machine_found=(
  "$hklm\\Main\\Search Page 现为 \"http://so.evil.cn/?from=ie\"|\"$search_default\""
  "$hklm\\Main\\Local Page 现为 \"%TEMP%\\go.htm\"|\"%SystemRoot%\\System32\\blank.htm\""
  "$hklm\\SearchScopes\\$bing\\URL 现为 \"http://so.evil.cn/b?q={searchTerms}\"|\"$bing_url\""
)
user_main_found=(
  "$hkcu\\Main\\Search Page 现为 \"http://so.evil.cn/\"|\"$search_default\""
  "$hkcu\\Main\\Default_Page_URL 现为 \"http://hao.evil.cn/\"|\"$page_default\""
  "$hkcu\\Main\\Local Page 现为 \"C:\\users\\Public\\go.htm\"|\"C:\\windows\\System32\\blank.htm\""
)
user_scope_found=(
  "$hkcu\\SearchScopes\\DefaultScope 现为 \"$evil\"（搜索网址为 \"http://so.evil.cn/s?w={searchTerms}\"）|\"$bing\""
)
# On a managed PC the user's default: the company's intranet search.
corp='{22222222-3333-4444-5555-666666666666}'
corp_url='https://search.corp.example.com/?q={searchTerms}'

# The check's lines: LEFT-BY (empty: repaired) for the machine's and the
# scopes', then the user's Main values, always repaired.
check_lines() {
  local by=$1 item
  for item in "${machine_found[@]}"; do
    if [ -n "$by" ]; then printf 'IE 浏览器：%s，%s，不会修改\n' "${item%|*}" "$by"
    else printf 'IE 浏览器：%s，将改为 %s\n' "${item%|*}" "${item#*|}"; fi
  done
  for item in "${user_main_found[@]}"; do
    printf 'IE 浏览器：%s，将改为 %s\n' "${item%|*}" "${item#*|}"
  done
  for item in "${user_scope_found[@]}"; do
    if [ -n "$by" ]; then printf 'IE 浏览器：%s，%s，不会修改\n' "${item%|*}" "$by"
    else printf 'IE 浏览器：%s，将改为 %s\n' "${item%|*}" "${item#*|}"; fi
  done
}

# --- A clean prefix: Wine's own values give no line.
qinghe_test_prefix "$root" "$arch" ie_pages
check_equal "a clean prefix's check has no IE line" "" "$(run "$cli" check "$address" | ie_lines)"

seed
before=$(ie_keys)
check_true "the values were seeded" grep -q 'so.evil.cn' <<<"$before"
check=$(run "$cli" check "$address" | ie_lines)
# The Windows folder as the program names it.
windows=$(grep -o 'C:\\[^\\]*\\System32\\blank.htm' <<<"$check" | head -1 | sed 's/\\System32\\blank.htm//')
check_equal "the check names each hijacked value once" \
  "$(check_lines '' | sed "s|C:\\\\windows\\\\|${windows//\\/\\\\}\\\\|")" "$check"
check_equal "the check changed nothing" "$before" "$(ie_keys)"

repair=$(run "$cli" repair "$address" | ie_lines)
check_equal "one repair line for each finding" 7 "$(grep -c '，已改为 Windows 默认值$' <<<"$repair")"
for view in "${views[@]}"; do
  check_equal "set back in $view: the machine's Search Page" "REG_SZ    $search_default" \
    "$(reg_value "$main_m" 'Search Page' "$view")"
  check_equal "set back in $view, of its type: the machine's Local Page" \
    'REG_EXPAND_SZ    %SystemRoot%\System32\blank.htm' "$(reg_value "$main_m" 'Local Page' "$view")"
  check_equal "set back in $view: the machine's Bing scope" "REG_SZ    $bing_url" \
    "$(reg_value "$scopes_m\\$bing" URL "$view")"
  check_equal "kept in $view: IE 7's page, written with https" \
    'REG_SZ    HTTPS://go.microsoft.com/fwlink/?LinkId=69157' \
    "$(reg_value "$main_m" Default_Page_URL "$view")"
  check_equal "kept in $view: IE 6's search page" \
    'REG_SZ    http://www.microsoft.com/isapi/redir.dll?prd=ie&ar=iesearch' \
    "$(reg_value "$main_m" Default_Search_URL "$view")"
  check_equal "kept in $view: MSN's page of a region" 'REG_SZ    http://cn.msn.com/?ocid=iehp' \
    "$(reg_value "$main_m" 'Start Page Redirect Cache' "$view")"
done
view=${views[0]}
check_equal "set back: the user's Search Page" "REG_SZ    $search_default" \
  "$(reg_value "$main_u" 'Search Page' "$view")"
check_equal "set back: the user's Default_Page_URL" "REG_SZ    $page_default" \
  "$(reg_value "$main_u" Default_Page_URL "$view")"
check_equal "set back, of its type: the user's Local Page" \
  "REG_SZ    $windows\\System32\\blank.htm" "$(reg_value "$main_u" 'Local Page' "$view")"
check_equal "the user's default scope is Bing's again" "REG_SZ    $bing" \
  "$(reg_value "$scopes_u" DefaultScope "$view")"
check_equal "kept: the user's own page" "REG_SZ    $address" \
  "$(reg_value "$main_u" 'Start Page Redirect Cache' "$view")"
check_equal "kept: the hijacker's provider, no longer the default" \
  'REG_SZ    http://so.evil.cn/s?w={searchTerms}' "$(reg_value "$scopes_u\\$evil" URL "$view")"
check_equal "kept: the user's own provider" 'REG_SZ    http://www.google.com/search?q={searchTerms}' \
  "$(reg_value "$scopes_u\\$google" URL "$view")"
check_equal "nothing left to find" "" "$(run "$cli" check "$address" | ie_lines)"

undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_equal "the undo gives every value back" "$before" "$(ie_keys)"
wineserver -k >/dev/null 2>&1 || true
wineserver -w

# --- Managed: enrolled in device management, then joined to a domain.
system=$(qinghe_wine_system_dir "$arch")
for managed in enrolled domain; do
  qinghe_test_prefix "$root" "$arch" "ie_pages_$managed"
  seed
  put "$scopes_u" /v DefaultScope /d "$corp"
  put "$scopes_u\\$corp" /v URL /d "$corp_url"
  user_scope_found=("$hkcu\\SearchScopes\\DefaultScope 现为 \"$corp\"（搜索网址为 \"$corp_url\"）|")
  before=$(ie_keys)
  if [ "$managed" = enrolled ]; then
    rm -f "$prefix/drive_c/windows/$system/mdmregistration.dll"
    cp "$fake_mdm" "$prefix/drive_c/windows/$system/mdmregistration.dll"
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mdmregistration=n"
    by='由组织的设备管理设置'
  else
    rm -f "$prefix/drive_c/windows/$system/netapi32.dll"
    cp "$fake_netapi" "$prefix/drive_c/windows/$system/netapi32.dll"
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netapi32=n"
    by='由域管理员设置'
  fi
  check=$(run "$cli" check "$address" | ie_lines)
  check_equal "$managed: the machine's values and the scopes are shown and left" \
    "$(check_lines "$by" | sed "s|C:\\\\windows\\\\|${windows//\\/\\\\}\\\\|")" "$check"
  repair=$(run "$cli" repair "$address" | ie_lines)
  check_equal "$managed: the repair says which it left" 4 "$(grep -c "${by}，未修改$" <<<"$repair")"
  check_equal "$managed: the user's Main values are set back" 3 \
    "$(grep -c '，已改为 Windows 默认值$' <<<"$repair")"
  for view in "${views[@]}"; do
    check_equal "$managed: kept in $view: the machine's Search Page" \
      'REG_SZ    http://so.evil.cn/?from=ie' "$(reg_value "$main_m" 'Search Page' "$view")"
  done
  check_equal "$managed: kept: the company's search as the user's default" "REG_SZ    $corp" \
    "$(reg_value "$scopes_u" DefaultScope "${views[0]}")"
  undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
  check_equal "$managed: the undo gives every value back" "$before" "$(ie_keys)"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
done

check_summary
