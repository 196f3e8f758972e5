#!/usr/bin/env bash
# The browsers' policies under Wine, through qinghe-cli, against the real
# registry seeded by Wine's own reg.exe (in both views in the 64-bit prefix,
# where Wine, as Windows 7 and later, keeps one Policies key for both):
# - the check names each hijacked policy once, and no other;
# - the repair removes them and leaves the user's own pages, the browsers'
#   own new-tab page and unrelated policies, as reg.exe sees in each view;
# - the undo gives every value and key back exactly;
# - a netapi32.dll beside the program is never loaded;
# - on a PC joined to a domain (a stand-in netapi32.dll in the system
#   folder), or enrolled in an organization's device management (a stand-in
#   mdmregistration.dll there), the check and the repair say so and nothing
#   changes.
# Usage: browser_policies_test.sh ARCH PREFIX-ROOT QINGHE-CLI FAKE-NETAPI32-DLL
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
chrome='HKLM\Software\Policies\Google\Chrome'
edge='HKLM\Software\Policies\Microsoft\Edge'
firefox='HKLM\Software\Policies\Mozilla\Firefox'

seed() {
  put "$chrome" /v HomepageLocation /d 'http://hao.evil.cn/'
  put "$chrome" /v HomepageIsNewTabPage /t REG_DWORD /d 0
  put "$chrome" /v BookmarkBarEnabled /t REG_DWORD /d 1
  put "$chrome\\Recommended\\RestoreOnStartupURLs" /v 1 /d "$address"
  put "$chrome\\Recommended\\RestoreOnStartupURLs" /v 2 /d 'www.evil.cn/go'
  put "$chrome\\Recommended" /v RestoreOnStartup /t REG_DWORD /d 4
  put 'HKCU\Software\Policies\Google\Chrome' /v HomepageLocation /d 'HTTPS://WWW.User-Home.cn'
  put 'HKCU\Software\Policies\Chromium' /v HomepageLocation /d 'http://导航.evil.cn/'
  put 'HKCU\Software\Policies\Chromium' /v NewTabPageLocation /d 'http://nav.evil.cn/'
  put "$edge" /v NewTabPageLocation /d 'edge://newtab/'
  put "$edge\\ExtensionInstallForcelist" /v 1 \
    /d 'abcdefghijklmnopabcdefghijklmnop;https://evil.cn/update.xml'
  put "$edge\\ExtensionInstallForcelist" /v 2 /d 'ponmlkjihgfedcbaponmlkjihgfedcba'
  put "$firefox\\Homepage" /v URL /d 'http://hao.evil.cn/'
  put "$firefox\\Homepage" /v Locked /t REG_DWORD /d 1
  put "$firefox\\Homepage\\Additional" /v 1 /d "$address"
  put "$firefox" /v DisableTelemetry /t REG_DWORD /d 1
  put 'HKCU\Software\Policies\Mozilla\Firefox\Homepage' /v URL /d "$address"
}
# Both roots' policies in each view as reg.exe lists them: one line per
# value, led by its key, sorted (an undo may give a key's values back in
# another order).
policies() { reg_listing 'HKLM\Software\Policies' 'HKCU\Software\Policies'; }
# The lines of a log that name policies.
policy_lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep '^浏览器策略：' || true; }
# The program's log; its status (1: something to repair, or left) aside.
run() { wine "$@" || true; }

hklm='HKEY_LOCAL_MACHINE\Software\Policies'
hkcu='HKEY_CURRENT_USER\Software\Policies'
found=(
  "Chrome HomepageLocation（$hklm\\Google\\Chrome）现为 \"http://hao.evil.cn/\""
  "Chrome HomepageIsNewTabPage（$hklm\\Google\\Chrome）现为 0"
  "Chrome RestoreOnStartupURLs（$hklm\\Google\\Chrome\\Recommended）有 2 项"
  "Chrome RestoreOnStartup（$hklm\\Google\\Chrome\\Recommended）现为 4"
  "Chromium HomepageLocation（$hkcu\\Chromium）现为 \"http://导航.evil.cn/\""
  "Chromium NewTabPageLocation（$hkcu\\Chromium）现为 \"http://nav.evil.cn/\""
  "Edge ExtensionInstallForcelist（$hklm\\Microsoft\\Edge）有 2 项"
  "Firefox Homepage（$hklm\\Mozilla\\Firefox）有 3 项"
)
kinds=('Chrome 主页策略' 'Chrome 启动页策略' 'Chromium 主页策略' 'Chromium 新标签页策略'
  'Edge 强制安装的扩展' 'Firefox 主页策略')
lines() {  # SUFFIX ITEM...
  local suffix=$1 item
  shift
  for item in "$@"; do printf '浏览器策略：%s%s\n' "$item" "$suffix"; done
}

# --- Not joined to a domain: check, repair, undo.
qinghe_test_prefix "$root" "$arch" browser_policies
seed
before=$(policies)
check_true "the policies were seeded" grep -q 'HomepageLocation' <<<"$before"

check=$(run "$cli" check "$address" | policy_lines)
check_equal "the check names each hijacked policy once" "$(lines '，将删除' "${found[@]}")" "$check"
check_equal "the check changed no policy" "$before" "$(policies)"

# A netapi32.dll planted beside the program, and natively loaded where it
# would be found: the program asks only the system folder's.
planted="$prefix/drive_c/planted"
mkdir -p "$planted"
cp "$cli" "$planted/qinghe-cli.exe"
cp "$fake_netapi" "$planted/netapi32.dll"
planted_check=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netapi32=n" \
  run 'C:\planted\qinghe-cli.exe' check "$address" | policy_lines)
check_equal "a netapi32.dll beside the program is not loaded" "$check" "$planted_check"

repair=$(run "$cli" repair "$address" | policy_lines)
check_equal "the repair's lines, one per browser and kind" "$(lines '已删除' "${kinds[@]}")" "$repair"
for view in "${views[@]}"; do
  for gone in "$chrome|HomepageLocation" "$chrome|HomepageIsNewTabPage" \
              "$chrome\\Recommended|RestoreOnStartup" \
              'HKCU\Software\Policies\Chromium|HomepageLocation' \
              'HKCU\Software\Policies\Chromium|NewTabPageLocation'; do
    check_equal "gone in $view: $gone" absent "$(reg_value "${gone%|*}" "${gone#*|}" "$view")"
  done
  for key in "$chrome\\Recommended\\RestoreOnStartupURLs" "$edge\\ExtensionInstallForcelist" \
             "$firefox\\Homepage"; do
    check_fails "gone in $view: $key" reg_has_key "$key" "$view"
  done
  check_equal "kept in $view: an unrelated policy" 'REG_DWORD    0x1' \
    "$(reg_value "$chrome" BookmarkBarEnabled "$view")"
  check_equal "kept in $view: the user's own page" 'REG_SZ    HTTPS://WWW.User-Home.cn' \
    "$(reg_value 'HKCU\Software\Policies\Google\Chrome' HomepageLocation "$view")"
  check_equal "kept in $view: the browser's own new-tab page" 'REG_SZ    edge://newtab/' \
    "$(reg_value "$edge" NewTabPageLocation "$view")"
  check_equal "kept in $view: Firefox's user's own page" "REG_SZ    $address" \
    "$(reg_value 'HKCU\Software\Policies\Mozilla\Firefox\Homepage' URL "$view")"
  check_equal "kept in $view: Firefox's unrelated policy" 'REG_DWORD    0x1' \
    "$(reg_value "$firefox" DisableTelemetry "$view")"
  check_true "kept in $view: the level key" reg_has_key "$chrome\\Recommended" "$view"
done
check_equal "nothing left to find" "" "$(run "$cli" check "$address" | policy_lines)"

undo=$(run "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_equal "the undo gives every policy back" "$before" "$(policies)"
wineserver -k >/dev/null 2>&1 || true
wineserver -w

# --- Joined to a domain: the stand-in netapi32.dll where the program, 32-bit,
# finds the system's. The prefix's files are hard links to the base prefix's:
# the link is removed, never written through.
qinghe_test_prefix "$root" "$arch" browser_policies_domain
seed
before=$(policies)
system="$prefix/drive_c/windows/$(qinghe_wine_system_dir "$arch")"
base_netapi=$(sha256sum <"$root/base/drive_c/windows/${system##*/}/netapi32.dll")
rm -f "$system/netapi32.dll"
cp "$fake_netapi" "$system/netapi32.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netapi32=n"
check=$(run "$cli" check "$address" | policy_lines)
check_equal "the check shows the domain's policies, to be kept" \
  "$(lines '，由域管理员设置，不会修改' "${found[@]}")" "$check"
repair=$(run "$cli" repair "$address" | policy_lines)
check_equal "the repair says it left them" "$(lines '由域管理员设置，未修改' "${kinds[@]}")" "$repair"
check_equal "the repair changed no policy" "$before" "$(policies)"
check_equal "the base prefix's netapi32.dll is untouched" "$base_netapi" \
  "$(sha256sum <"$root/base/drive_c/windows/${system##*/}/netapi32.dll")"
wineserver -k >/dev/null 2>&1 || true
wineserver -w

# --- Enrolled in device management (Windows 8.1 and later), not joined to a
# domain: the stand-in mdmregistration.dll in the system folder, where
# Wine has none.
qinghe_test_prefix "$root" "$arch" browser_policies_enrolled
seed
before=$(policies)
system="$prefix/drive_c/windows/$(qinghe_wine_system_dir "$arch")"
rm -f "$system/mdmregistration.dll"
cp "$fake_mdm" "$system/mdmregistration.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mdmregistration=n"
check=$(run "$cli" check "$address" | policy_lines)
check_equal "the check shows an enrolled PC's policies, to be kept" \
  "$(lines '，由组织的设备管理设置，不会修改' "${found[@]}")" "$check"
repair=$(run "$cli" repair "$address" | policy_lines)
check_equal "the repair says it left them" \
  "$(lines '由组织的设备管理设置，未修改' "${kinds[@]}")" "$repair"
check_equal "the repair changed no policy" "$before" "$(policies)"

check_summary
