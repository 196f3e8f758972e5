#!/usr/bin/env bash
# A desktop redirected to a path of 145 characters that is 266 bytes in code
# page 936, under Wine. Cut to the 259 bytes an ANSI call has room for, that
# path is its parent folder. The desktop is then no path the program can use:
# nothing in the parent folder is touched, no back-up folder is made there,
# and the repair's other items run as on any PC.
# Usage: long_desktop_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" long_desktop

user_dir=$(qinghe_wine_user_dir "$prefix")
user=$(basename "$user_dir")
home="C:\\users\\$user\\"
gbk_bytes() { printf %s "$1" | iconv -f UTF-8 -t GBK | wc -c; }

# The parent: 141 characters and 259 bytes, in folders short enough for
# Linux; the desktop below it adds "\桌面夹".
cjk() { printf '长%.0s' $(seq "$1"); }
letters=$((141 - 118 - 3 - ${#home}))
relative="$(printf 'p%.0s' $(seq $letters))\\$(cjk 40)\\$(cjk 40)\\$(cjk 38)"
parent="$home$relative"
desktop="$parent\\桌面夹"
check_equal "parent: characters and bytes" "141 259" "${#parent} $(gbk_bytes "$parent")"
check_equal "desktop: characters and bytes" "145 266" "${#desktop} $(gbk_bytes "$desktop")"
unix_parent="$user_dir/${relative//\\//}"
mkdir -p "$unix_parent/桌面夹" "$unix_parent/Other"

folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer'
wine reg add "$folders\\User Shell Folders" /v Desktop /t REG_EXPAND_SZ /d "$desktop" /f >/dev/null
wine reg add "$folders\\Shell Folders" /v Desktop /t REG_SZ /d "$desktop" /f >/dev/null

wine "$lnk_probe" seed "$home" 2 >/dev/null
mv "$user_dir/link0001.lnk" "$unix_parent/Other/private.lnk"
mv "$user_dir/link0002.lnk" "$unix_parent/桌面夹/desk.lnk"
snapshot() { (cd "$unix_parent" && find . -print0 | sort -z | xargs -0 -I{} sh -c \
  'printf "%s " "{}"; [ -f "{}" ] && sha1sum <"{}" || echo'); }
before=$(snapshot)

log=$(wine "$cli" "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
echo "$log"
check_equal "nothing in the desktop's parent or below it changed" "$before" "$(snapshot)"
check_equal "no shortcut line" "" "$(grep -E '^修复' <<<"$log" || true)"
check_true "the start page was still written" grep -qxF "正在修复注册表项1：成功" <<<"$log"

check_summary
