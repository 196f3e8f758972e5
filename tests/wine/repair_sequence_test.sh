#!/usr/bin/env bash
# The whole repair sequence under Wine, against the real registry and file
# system of a private prefix seeded with a hijack; checked from outside.
# Usage: repair_sequence_test.sh ARCH PREFIX-ROOT QINGHE-CLI-EXE
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" repair_sequence

main='HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main'
machine='HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Main'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)

qinghe_wine_seed_hijack

run_repair() { wine "$cli" "$1" | iconv -f GBK -t UTF-8; }

expected_line() { printf '%s%s\r\n' "$1" "$2"; }

log=$(run_repair "http://www.example.com/"; echo .)
users_item=成功
# Item 3 writes directly below HKEY_USERS, which Windows refuses; whether the
# system lets it stand is its own business, the line must tell the truth.
if ! wine reg query 'HKEY_USERS\SOFTWARE\Microsoft\Internet Explorer\Main' /v "Start Page" >/dev/null 2>&1; then
  users_item=失败
fi
want=$(expected_line 正在修复注册表项1： 成功; expected_line 正在修复注册表项2： 成功
       expected_line 正在修复注册表项3： "$users_item"; expected_line 正在修复注册表项4： 成功
       expected_line 系统文件项1： 成功; expected_line 系统文件项2： 成功; echo .)
check_equal "first run log" "$want" "$log"

for key in "$main" "$machine"; do
  for view in "${views[@]}"; do
    value=$(wine reg query "$key" /v "Start Page" "$view" | tr -d '\r' | awk -F'REG_SZ' '/Start Page/ {sub(/^[ \t]+/, "", $2); print $2}')
    check_equal "Start Page in $key $view" "http://www.example.com/" "$value"
  done
done
check_fails "policy key is gone" wine reg query 'HKEY_CURRENT_USER\Software\Policies\Microsoft'
check_true "Policies key itself stays" wine reg query 'HKEY_CURRENT_USER\Software\Policies'
check_fails "C:\\OEM8 is gone" test -e "$prefix/drive_c/OEM8"
check_fails "C:\\Windows\\OEM8 is gone" test -e "$prefix/drive_c/windows/OEM8"
check_true "C:\\Windows stays" test -d "$prefix/drive_c/windows/system32"

log=$(run_repair "http://www.example.com/"; echo .)
want=$(expected_line 正在修复注册表项1： 成功; expected_line 正在修复注册表项2： 成功
       expected_line 正在修复注册表项3： "$users_item"; expected_line 正在修复注册表项4： 失败
       expected_line 系统文件项1： 失败; expected_line 系统文件项2： 失败; echo .)
check_equal "second run log" "$want" "$log"

check_summary
