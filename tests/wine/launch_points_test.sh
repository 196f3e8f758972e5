#!/usr/bin/env bash
# The launch points beyond the desktop and the quick launch bar under Wine,
# through qinghe-cli, against the real link object, registry and liblnk's
# lnkinfo: every browser's links in the user's and all users' start-menu
# program trees and on the public desktop, look-alikes of each kind, a
# browser profile's and a web app's links, a game's link with arguments.
# - the check names every link the repair changes, and no other;
# - a hijacked browser link keeps every byte but its arguments field, and
#   keeps the arguments its browser needs;
# - look-alikes are pointed back where the browser is installed (App Paths),
#   reported where not; other links are never touched;
# - the undo gives every byte back.
# Usage: launch_points_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" launch_points
drive_c="$prefix/drive_c"
user_dir=$(qinghe_wine_user_dir "$prefix")
user="C:\\users\\$(basename "$user_dir")"
programs="$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
common='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
public='C:\users\Public\Desktop'
wine cmd /c mkdir "$programs\\Chrome 应用" "$programs\\游戏" "$common" "$public" \
  'C:\Program Files\Google\Chrome\Application' 'C:\Program Files\Microsoft\Edge\Application' \
  >/dev/null 2>&1 || true

qinghe_wine_seed_hijack
qinghe_wine_seed_hijacked_links "$lnk_probe"

# Chrome and Edge are installed: their programs and App Paths entries.
for exe in 'C:\Program Files\Google\Chrome\Application\chrome.exe' \
           'C:\Program Files\Microsoft\Edge\Application\msedge.exe'; do
  cp "$drive_c/windows/system32/notepad.exe" "$(winepath -u "$exe" 2>/dev/null)"
  wine reg add "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\${exe##*\\}" \
    /ve /d "\"$exe\"" /f >/dev/null
done
chrome='C:\Program Files\Google\Chrome\Application\chrome.exe'

link() {  # PATH TARGET ARGUMENTS
  wine "$lnk_probe" write "$1" "target=$2" "arguments=$3" 'working_directory=C:\' \
    'icon_path=C:\Windows\system32\shell32.dll' 'icon_index=13' 'hotkey=0x0642' \
    'description=浏览器' >/dev/null
}
link "$programs\\Google Chrome.lnk" "$chrome" '--profile-directory="Profile 1" http://hao.example/'
link "$programs\\Chrome 应用\\邮件.lnk" "$chrome" '--profile-directory=Default --app-id=abcdefghijklmnop'
link "$programs\\游戏\\Game.lnk" 'C:\Games\game.exe' '-window http://hao.example/'
link "$programs\\搜狗高速浏览器.lnk" 'C:\hao\open.bat' ''
link "$programs\\2345加速浏览器.lnk" 'C:\hao\open.vbs' ''
link "$common\\Mozilla Firefox.lnk" 'C:\Program Files\Mozilla Firefox\firefox.exe' '-P default http://hao.example/'
link "$common\\Microsoft Edge.lnk" 'C:\Program Files\Microsoft\Edge\Application\msedge.exe' '--start-maximized www.hao.example'
link "$common\\猎豹安全浏览器.lnk" 'C:\Windows\system32\wscript.exe' 'C:\hao\open.js'
link "$public\\360安全浏览器.lnk" 'C:\Program Files\360\360se6\Application\360se.exe' 'http://hao.example/'
link "$public\\QQ浏览器.lnk" 'C:\Windows\system32\cmd.exe' '/c start http://hao.example/'
link "$public\\Google Chrome.lnk" 'C:\users\Public\hao.url' ''
link "$user\\Desktop\\Microsoft Edge.lnk" 'C:\Windows\system32\cmd.exe' '/c start http://hao.example/'

# Every browser's link, hijacked, in a subfolder of each new place.
browsers=('Internet Explorer|C:\Program Files\Internet Explorer\iexplore.exe'
  'Google Chrome|C:\Program Files\Google\Chrome\Application\chrome.exe'
  'Microsoft Edge|C:\Program Files\Microsoft\Edge\Application\msedge.exe'
  'Firefox|C:\Program Files\Mozilla Firefox\firefox.exe'
  '360安全浏览器|C:\Program Files\360\360se6\Application\360se.exe'
  '360极速浏览器|C:\Program Files\360Chrome\Chrome\Application\360chrome.exe'
  'QQ浏览器|C:\Program Files\Tencent\QQBrowser\QQBrowser.exe'
  '搜狗高速浏览器|C:\Program Files\SogouExplorer\SogouExplorer.exe'
  '2345加速浏览器|C:\Program Files\2345Soft\2345Explorer\2345Explorer.exe'
  '猎豹安全浏览器|C:\Program Files\liebao\liebao.exe')
every_place=()
for place in "$programs" "$common" "$public"; do
  wine cmd /c mkdir "$place\\浏览器" >/dev/null 2>&1 || true
  for entry in "${browsers[@]}"; do
    link "$place\\浏览器\\${entry%%|*}.lnk" "${entry#*|}" 'http://hao.example/ --hijack'
    every_place+=("$place\\浏览器\\${entry%%|*}.lnk")
  done
done

unix() { winepath -u "$1" 2>/dev/null; }
# Every link of the new places and the desktop, by its bytes.
state() {
  local folder
  for folder in "$programs" "$common" "$public" "$user\\Desktop"; do
    (cd "$(unix "$folder")" && find . -name '*.lnk' -not -path './修复前桌面图标备份/*' -print0 |
      sort -z | xargs -0 sha256sum)
  done
}
before=$(state)
chrome_link=$(unix "$programs\\Google Chrome.lnk")
cp "$chrome_link" "$prefix/chrome-before.lnk"

# The arguments field of a link: its offset and size, from the published
# layout (header, ID list, LinkInfo, then the strings in order).
args_field() {
  perl -e '
    local $/; open my $f, "<:raw", $ARGV[0] or die; my $b = <$f>;
    my $flags = unpack("V", substr($b, 0x14, 4)); my $at = 0x4C;
    $at += 2 + unpack("v", substr($b, $at, 2)) if $flags & 1;
    $at += unpack("V", substr($b, $at, 4)) if $flags & 2;
    my $unit = ($flags & 0x80) ? 2 : 1;
    for my $bit (4, 8, 0x10, 0x20) {
      next unless $flags & $bit;
      my $len = 2 + $unit * unpack("v", substr($b, $at, 2));
      if ($bit == 0x20) { print "$at $len\n"; exit 0 }
      $at += $len;
    }
    exit 1' "$1"
}

wine "$cli" check "http://www.example.com/" >"$prefix/check.out" || true
# Wine's link object counts a string's terminator: none may reach a line.
check_equal "no zero byte in the check's lines" 0 "$(tr -cd '\000' <"$prefix/check.out" | wc -c)"
check=$(iconv -f GBK -t UTF-8 <"$prefix/check.out" | tr -d '\r')
repair=$(wine "$cli" repair "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)

new_names=('Google Chrome.lnk' '邮件.lnk' 'Game.lnk' '搜狗高速浏览器.lnk' '2345加速浏览器.lnk'
  'Mozilla Firefox.lnk' 'Microsoft Edge.lnk' '猎豹安全浏览器.lnk' '360安全浏览器.lnk' 'QQ浏览器.lnk')
for want in \
  '快捷方式：Google Chrome.lnk（参数：--profile-directory="Profile 1" http://hao.example/），将只保留：--profile-directory="Profile 1"' \
  '快捷方式：Mozilla Firefox.lnk（参数：-P default http://hao.example/），将只保留：-P default' \
  '快捷方式：Microsoft Edge.lnk（参数：--start-maximized www.hao.example），将去掉参数' \
  '快捷方式：360安全浏览器.lnk（参数：http://hao.example/），将去掉参数' \
  "仿冒快捷方式：Google Chrome.lnk（指向 C:\\users\\Public\\hao.url），将改为指向 $chrome" \
  '仿冒快捷方式：QQ浏览器.lnk（指向 C:\Windows\system32\cmd.exe），未找到该浏览器，不会修改' \
  '仿冒快捷方式：搜狗高速浏览器.lnk（指向 C:\hao\open.bat），未找到该浏览器，不会修改' \
  '仿冒快捷方式：2345加速浏览器.lnk（指向 C:\hao\open.vbs），未找到该浏览器，不会修改' \
  '仿冒快捷方式：猎豹安全浏览器.lnk（指向 C:\Windows\system32\wscript.exe），未找到该浏览器，不会修改' \
  '仿冒快捷方式：Microsoft Edge.lnk（指向 C:\Windows\system32\cmd.exe），将改为指向 C:\Program Files\Microsoft\Edge\Application\msedge.exe'; do
  check_true "the check shows: $want" grep -qxF -- "$want" <<<"$check"
done
for quiet in '邮件.lnk' 'Game.lnk'; do
  check_fails "the check leaves $quiet out" grep -qF -- "$quiet" <<<"$check"
done

# The repair: today's lines first (the desktop's look-alike among them), the
# new places' after them; each a line the check announced.
new_lines=$(grep -nE '^(修复|修复失败|修复仿冒快捷方式)：' <<<"$repair" |
  grep -E "：($(IFS='|'; echo "${new_names[*]}" | sed 's/\./\\./g'))$" || true)
expected_lines=('修复：Google Chrome.lnk' '修复：Microsoft Edge.lnk' '修复：Microsoft Edge.lnk'
  '修复：Mozilla Firefox.lnk' '修复：360安全浏览器.lnk' '修复仿冒快捷方式：Google Chrome.lnk'
  '修复仿冒快捷方式：Microsoft Edge.lnk' '修复失败：2345加速浏览器.lnk' '修复失败：QQ浏览器.lnk'
  '修复失败：搜狗高速浏览器.lnk' '修复失败：猎豹安全浏览器.lnk')
for name in 'Google Chrome' 'Microsoft Edge' 360安全浏览器 QQ浏览器 搜狗高速浏览器 2345加速浏览器 \
            猎豹安全浏览器; do
  expected_lines+=("修复：$name.lnk" "修复：$name.lnk" "修复：$name.lnk")
done
check_equal "the new places' lines" "$(printf '%s\n' "${expected_lines[@]}" | LC_ALL=C sort)" \
  "$(cut -d: -f2- <<<"$new_lines" | LC_ALL=C sort)"
desktop_done=$(grep -n '^修复：记事本.lnk$' <<<"$repair" | cut -d: -f1)
first_new=$(grep -nE '^修复(失败)?：(360安全浏览器|Mozilla Firefox|QQ浏览器|搜狗高速浏览器|2345加速浏览器|猎豹安全浏览器)\.lnk$' <<<"$repair" | head -1 | cut -d: -f1)
check_true "the new places come after the desktop ($desktop_done < $first_new)" test "$desktop_done" -lt "$first_new"

# Every browser in every place: a line each (other links share some of
# the names), its page gone.
for entry in "${browsers[@]}"; do
  check_true "every place's ${entry%%|*}.lnk repaired" \
    test "$(grep -cxF "修复：${entry%%|*}.lnk" <<<"$repair" || true)" -ge 3
done
left=0
for path in "${every_place[@]}"; do
  lnkinfo "$(unix "$path")" | grep -q 'hao\.example' && left=$((left + 1))
done
check_equal "no browser link keeps the page" 0 "$left"

# The hijacked Chrome link: only its arguments field differs.
read -r at size < <(args_field "$prefix/chrome-before.lnk")
read -r new_at new_size < <(args_field "$chrome_link")
check_equal "the field is where it was" "$at" "$new_at"
check_true "the bytes before the field" cmp -n "$at" "$prefix/chrome-before.lnk" "$chrome_link"
check_true "the bytes after the field" cmp <(tail -c +$((at + size + 1)) "$prefix/chrome-before.lnk") \
  <(tail -c +$((new_at + new_size + 1)) "$chrome_link")
check_true "lnkinfo reads the kept arguments" \
  grep -qxF $'\tCommand line arguments\t\t: --profile-directory="Profile 1"' <(lnkinfo "$chrome_link")
firefox_args=$(wine "$lnk_probe" read "$(winepath -w "$(unix "$common\\Mozilla Firefox.lnk")")" |
  iconv -f GBK -t UTF-8 | tr -d '\r' | sed -n 's/^arguments: //p')
check_equal "Firefox keeps its profile" '-P default' "$firefox_args"
public_chrome=$(wine "$lnk_probe" read "$public\\Google Chrome.lnk" | iconv -f GBK -t UTF-8 | tr -d '\r')
check_true "the look-alike leads to Chrome" grep -qxF "target: $chrome" <<<"$public_chrome"
check_true "and keeps its icon" grep -qxF 'icon_path: C:\Windows\system32\shell32.dll' <<<"$public_chrome"
for untouched in './Chrome 应用/邮件.lnk' './游戏/Game.lnk' './QQ浏览器.lnk'; do
  check_equal "untouched: $untouched" "$(grep -F "  $untouched" <<<"$before" | grep -v '/浏览器/')" \
    "$(state | grep -F "  $untouched" | grep -v '/浏览器/')"
done

undo=$(wine "$cli" undo | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
check_equal "the undo gives every link back" "$before" "$(state)"
check_true "the undo completes" grep -qx '撤销完成' <<<"$undo"
check_summary || { printf '%s\n---\n%s\n---\n%s\n' "$check" "$repair" "$undo"; exit 1; }
