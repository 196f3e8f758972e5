#!/usr/bin/env bash
# Links a hijacker plants, under Wine: both OEM8 folders as links to folders
# full of files, a desktop subfolder that leads out of the desktop, and the
# back-up folder "修复前桌面图标备份" as a link to another folder. After a
# repair nothing behind a link has changed, no copy went through a link, the
# OEM8 links themselves are gone, and the desktop's shortcuts, which could not
# be backed up, are left as they were with a "修复失败：" line each.
#
# What Wine 8 can express: a Unix symlink to a folder shows as a folder with
# FILE_ATTRIBUTE_REPARSE_POINT, so the links planted here are Unix symlinks
# (each leading to a folder inside the prefix). CreateSymbolicLinkA reports
# success and makes nothing, and FSCTL_SET_REPARSE_POINT is not supported, so
# no junction can be made; those are checked as known Wine differences, with
# the Windows expectation kept: where a junction can be made, it is planted too.
# Usage: planted_links_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE FS-PROBE LNKDUMP
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4 fs_probe=$5 lnkdump=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" planted_links

drive_c="$prefix/drive_c"
user_dir=$(qinghe_wine_user_dir "$prefix")
user=$(basename "$user_dir")
desktop="$user_dir/Desktop"
quick="$user_dir/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"
keep="$drive_c/keep"   # what the links lead to; none of it may change
mkdir -p "$quick" "$keep/oem8/bin" "$keep/windows-oem8/cache" "$keep/away" "$keep/trap"
echo precious >"$keep/oem8/bin/tool.exe"
echo precious >"$keep/oem8/notes.txt"
echo precious >"$keep/windows-oem8/cache/data.dll"
echo "not a back-up" >"$keep/trap/owner.txt"

wine "$lnk_probe" seed 'C:\keep\away' 2 >/dev/null
wine "$lnk_probe" seed "C:\\users\\$user\\Desktop" 2 >/dev/null
wine "$lnk_probe" seed 'C:\keep' 1 >/dev/null
mv "$keep/link0001.lnk" "$quick/quick.lnk"

ln -s "$keep/oem8" "$drive_c/OEM8"
ln -s "$keep/windows-oem8" "$drive_c/windows/OEM8"
ln -s "$keep/away" "$desktop/away"
ln -s "$keep/trap" "$desktop/修复前桌面图标备份"

note() { echo "known Wine difference: $*"; }

# How Wine shows a Unix symlink to a folder: as Windows shows a junction.
check_equal "C:\\OEM8 is a folder that is a reparse point" 00000410 \
  "$(wine "$fs_probe" attributes 'C:\OEM8' | tr -d '\r')"
check_equal "the desktop's link in a search" $'00000410\taway' \
  "$(wine "$fs_probe" list "C:\\users\\$user\\Desktop\\away" | tr -d '\r')"

# CreateSymbolicLinkA: Windows makes the link (given the privilege, or fails
# with 1314 without it); Wine 8 says it did and makes nothing.
symlink=$(wine "$fs_probe" symlink 'C:\keep\symlink' 'C:\keep\away' | tr -d '\r' || true)
made=$(wine "$fs_probe" attributes 'C:\keep\symlink' | tr -d '\r' || true)
if [ -z "$symlink" ] && [ "$made" = "none 2" ]; then
  note "CreateSymbolicLinkA reports success and makes no link"
  checks_passed=$((checks_passed + 1))
else
  check_true "CreateSymbolicLinkA made a link to a folder ($symlink, $made)" \
    test "$made" = 00000410 -o "$symlink" = "CreateSymbolicLinkA failed: 1314"
  rm -f "$keep/symlink"
fi

# A junction on the desktop, where the system can make one.
mkdir -p "$keep/junction-away"
wine "$lnk_probe" seed 'C:\keep\junction-away' 1 >/dev/null
junction=$(wine "$fs_probe" junction "C:\\users\\$user\\Desktop\\junction" 'C:\keep\junction-away' |
  tr -d '\r' || true)
if [ "$junction" = "FSCTL_SET_REPARSE_POINT failed: 50" ]; then
  note "no junction can be made (FSCTL_SET_REPARSE_POINT: ERROR_NOT_SUPPORTED)"
  checks_passed=$((checks_passed + 1))
else
  check_equal "junction made" "" "$junction"
  check_equal "the junction is a reparse point" 00000410 \
    "$(wine "$fs_probe" attributes "C:\\users\\$user\\Desktop\\junction" | tr -d '\r')"
fi

snapshot() { (cd "$1" && find . -print0 | sort -z | xargs -0 -I{} sh -c 'printf "%s " "{}"; [ -f "{}" ] && sha1sum <"{}" || echo') ; }
keep_before=$(snapshot "$keep")
desktop_before=$(sha1sum "$desktop"/*.lnk)

log=$(wine "$cli" "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
echo "$log"

check_equal "nothing behind a link changed" "$keep_before" "$(snapshot "$keep")"
# Windows removes a junction or a folder symlink with RemoveDirectoryA, as a
# link: the OEM8 links would be gone and both lines say "成功". Wine 8 cannot
# remove a Unix symlink that way: the links stay and the lines say "失败" -
# the truth, and nothing behind them is touched either way.
note "RemoveDirectoryA does not remove a Unix symlink to a folder"
check_true "C:\\OEM8, the link, is still there (Windows: gone)" test -L "$drive_c/OEM8"
check_true "C:\\Windows\\OEM8, the link, is still there (Windows: gone)" test -L "$drive_c/windows/OEM8"
check_true "system-file line 1 (Windows: 成功)" grep -qxF "系统文件项1：失败" <<<"$log"
check_true "system-file line 2 (Windows: 成功)" grep -qxF "系统文件项2：失败" <<<"$log"
check_true "the back-up folder is still the planted link" test -L "$desktop/修复前桌面图标备份"
check_equal "desktop shortcuts, with no back-up to be had, as they were" "$desktop_before" \
  "$(sha1sum "$desktop"/*.lnk)"
check_equal "the shortcut lines" "$(printf '%s\n' 修复：quick.lnk 修复失败：link0001.lnk 修复失败：link0002.lnk)" \
  "$(grep -E '^修复(失败)?：' <<<"$log" || true)"
check_equal "quick-launch shortcut repaired" "" "$("$lnkdump" "$quick/quick.lnk" | sed -n 's/^arguments: //p')"
check_equal "no file left beside a link" "" "$(find "$desktop"/ "$quick" "$keep" -name '~qinghe-*')"

check_summary
