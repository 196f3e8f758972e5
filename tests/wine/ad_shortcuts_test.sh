#!/usr/bin/env bash
# Ad shortcuts under Wine, through qinghe-cli: Internet shortcuts (.url)
# written on the user's and the public desktop, in the start menus, Quick
# Launch and Favorites, beside the pages this same run finds a hijacker's
# (a Run value made by Wine's own reg.exe, a browser policy in each view, a
# desktop browser link the shell's link object made with a page in its
# arguments; another program's link with a page in its arguments gives none):
# - the check names each ad shortcut once, with why, lists the desktops'
#   other .url files with their address, and changes nothing;
# - the repair moves the ads into the bundle and says nothing of the rest:
#   the user's own, a browser's own site under a name not the browser's, a
#   host that only ends like a hijack host, the box's own page;
# - the undo gives every file back byte for byte;
# - on a PC enrolled in device management (a stand-in mdmregistration.dll)
#   the policy's page is the organization's: a shortcut to it stays.
# Usage: ad_shortcuts_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE FAKE-MDMREGISTRATION-DLL
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4 fake_mdm=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
run() { wine "$@" || true; }
lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep -E "^$1：" || true; }
url() { printf '[InternetShortcut]\r\nURL=%s\r\n%s' "$2" "${3:-}" >"$1"; }

# Every file of the walked folders with its bytes, but the copies the
# desktop links' repair keeps in its back-up folder, which stay.
files_state() {
  local folder
  for folder in "$desktop" "$public" "$programs" "$common_start" "$quick" "$favorites"; do
    (cd "$folder" && find . -path ./修复前桌面图标备份 -prune -o -type f -print0 |
      LC_ALL=C sort -z | xargs -0 -r sha1sum)
  done
}

seed() {
  user_dir=$(qinghe_wine_user_dir "$prefix")
  win_user=$(basename "$user_dir")
  user_win="C:\\users\\$win_user"
  desktop="$user_dir/Desktop" public="$prefix/drive_c/users/Public/Desktop"
  programs="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
  common_start="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu"
  common_programs="$common_start/Programs"
  quick="$user_dir/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"
  favorites="$user_dir/Favorites"
  mkdir -p "$desktop" "$public" "$programs/推荐" "$common_programs" "$quick" "$favorites/Links"
  # The pages this run finds a hijacker's.
  reg_exe add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v HomeKeeper \
    /d 'C:\absent\cmd.exe /c start http://hao.evil.cn/' /f >/dev/null
  put 'HKLM\Software\Policies\Google\Chrome' /v HomepageLocation /d 'http://www.start.evil.net/'
  wine "$lnk_probe" write "$user_win\\Desktop\\Internet Explorer.lnk" \
    'target=C:\Program Files\Internet Explorer\iexplore.exe' \
    'arguments=http://lnk.evil.org/?from=desktop' >/dev/null
  # Another program's argument is no page judged: the user's own.
  wine "$lnk_probe" write "$user_win\\Desktop\\记事本.lnk" 'target=C:\windows\notepad.exe' \
    'arguments=http://diary.example.cn/' >/dev/null
  # Ads in each place, and two posing as a browser.
  url "$desktop/网址导航.url" 'http://www.hao.evil.cn/?tn=desk'
  url "$public/特价.url" 'https://start.evil.net/sale'
  url "$programs/推荐/导航.url" 'http://lnk.evil.org/menu'
  url "$common_programs/hao.url" 'http://HAO.evil.cn/'
  url "$common_start/zz.url" 'http://hao.evil.cn/root'
  # Saved as UTF-16LE with its mark, which Windows reads as well.
  url "$desktop/UTF16导航.url" 'http://hao.evil.cn/utf16'
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$desktop/UTF16导航.url"; } >"$desktop/u16.tmp"
  mv "$desktop/u16.tmp" "$desktop/UTF16导航.url"
  url "$quick/hao.url" 'http://hao.evil.cn/ql'
  url "$favorites/Links/hao.url" 'http://hao.evil.cn/fav'
  url "$public/Internet Explorer.url" 'http://ads.example.cn/'
  url "$desktop/上网.url" 'http://ads.example.cn/2' \
    $'IconFile=C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\r\nIconIndex=0\r\n'
  # Theirs, which stay.
  url "$desktop/我的博客.url" 'https://blog.example.cn/'
  url "$desktop/Google Chrome 帮助.url" 'https://support.google.com/chrome/'
  url "$public/nothao.url" 'http://nothao.evil.cn/'
  url "$desktop/首页.url" "$address"
  url "$favorites/新闻.url" 'https://news.example.cn/'
  url "$desktop/日记.url" 'http://diary.example.cn/'
}

qinghe_test_prefix "$root" "$arch" ad_shortcuts
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
seed
check_true "the link object made the desktop links" test -s "$desktop/记事本.lnk" -a -s "$desktop/Internet Explorer.lnk"
before=$(files_state)

d="$user_win\\Desktop" p='C:\users\Public\Desktop'
m="$user_win\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
s='C:\ProgramData\Microsoft\Windows\Start Menu' c="$s\\Programs"
q="$user_win\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"
f="$user_win\\Favorites"
ads=("$d\\UTF16导航.url|打开劫持网站 http://hao.evil.cn/utf16"
  "$d\\上网.url|冒充浏览器，打开 http://ads.example.cn/2"
  "$d\\网址导航.url|打开劫持网站 http://www.hao.evil.cn/?tn=desk"
  "$p\\Internet Explorer.url|冒充浏览器，打开 http://ads.example.cn/"
  "$p\\特价.url|打开劫持网站 https://start.evil.net/sale"
  "$m\\推荐\\导航.url|打开劫持网站 http://lnk.evil.org/menu"
  "$c\\hao.url|打开劫持网站 http://HAO.evil.cn/"
  "$s\\zz.url|打开劫持网站 http://hao.evil.cn/root"
  "$q\\hao.url|打开劫持网站 http://hao.evil.cn/ql"
  "$f\\Links\\hao.url|打开劫持网站 http://hao.evil.cn/fav")
want_check=() want_repair=()
for ad in "${ads[@]}"; do
  want_check+=("广告快捷方式：${ad%%|*}（${ad#*|}），将删除")
  want_repair+=("广告快捷方式：${ad%%|*} 已删除（${ad#*|}）")
done
want_listed=("桌面网址快捷方式：$d\\Google Chrome 帮助.url 指向 https://support.google.com/chrome/，不会修改"
  "桌面网址快捷方式：$d\\日记.url 指向 http://diary.example.cn/，不会修改"
  "桌面网址快捷方式：$d\\首页.url 指向 $address，不会修改"
  "桌面网址快捷方式：$d\\我的博客.url 指向 https://blog.example.cn/，不会修改"
  "桌面网址快捷方式：$p\\nothao.url 指向 http://nothao.evil.cn/，不会修改")

check=$(run "$cli" check "$address")
check_equal "the check names each ad once, with why" \
  "$(printf '%s\n' "${want_check[@]}")" "$(lines 广告快捷方式 <<<"$check")"
check_equal "and lists the desktops' other .url files" \
  "$(printf '%s\n' "${want_listed[@]}")" "$(lines 桌面网址快捷方式 <<<"$check")"
check_equal "the check changed nothing" "$before" "$(files_state)"

repair=$(run "$cli" repair "$address")
check_equal "the repair removes each ad, a line each" \
  "$(printf '%s\n' "${want_repair[@]}")" "$(lines 广告快捷方式 <<<"$repair")"
check_equal "and says nothing of the rest" "" "$(lines 桌面网址快捷方式 <<<"$repair")"
for gone in "$desktop/上网.url" "$desktop/网址导航.url" "$public/Internet Explorer.url" \
  "$public/特价.url" "$programs/推荐/导航.url" "$common_programs/hao.url" "$quick/hao.url" \
  "$common_start/zz.url" "$desktop/UTF16导航.url" \
  "$favorites/Links/hao.url"; do
  check_fails "gone: $gone" test -e "$gone"
done
for kept in "$desktop/我的博客.url" "$desktop/Google Chrome 帮助.url" "$public/nothao.url" \
  "$desktop/首页.url" "$favorites/新闻.url" "$desktop/日记.url"; do
  check_true "kept: $kept" test -s "$kept"
done
check_equal "a second repair finds no ad" "" \
  "$(run "$cli" repair "$address" | lines 广告快捷方式)"

run "$cli" undo >/dev/null
run "$cli" undo >/dev/null
# The desktop link the repair rewrote comes back too: every file as it was.
check_equal "the undo gives every file back byte for byte" "$before" "$(files_state)"
wineserver -k >/dev/null 2>&1 || true
wineserver -w

# --- A PC enrolled in device management: the policy is the organization's,
# and a shortcut to its page is the organization's too.
qinghe_test_prefix "$root" "$arch" ad_shortcuts_enrolled
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
seed
system="$prefix/drive_c/windows/$(qinghe_wine_system_dir "$arch")"
rm -f "$system/mdmregistration.dll"
cp "$fake_mdm" "$system/mdmregistration.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mdmregistration=n"
check=$(run "$cli" check "$address")
check_fails "an enrolled PC's policy page is no hijacker's" \
  grep -qF '特价.url（' <<<"$(lines 广告快捷方式 <<<"$check")"
check_true "its shortcut is listed and left" \
  grep -qF "桌面网址快捷方式：$p\\特价.url 指向 https://start.evil.net/sale，不会修改" \
  <<<"$(lines 桌面网址快捷方式 <<<"$check")"

check_summary
