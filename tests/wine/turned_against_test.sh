#!/usr/bin/env bash
# What a user, or a hijacker acting as the user, can plant to turn the
# elevated program against the PC, under Wine through qinghe-cli:
# - every change the file layer makes refuses a path that leads through a
#   link at any level (a Unix symlink stands in for the junction any
#   standard user can make on Windows), and still works where none does;
# - an undo after the user's start-menu programs folder was swapped for a
#   link to the all-users one puts no script into the all-users Startup
#   folder, and a later undo, with the folder back, puts it back;
# - a desktop folder value that leads through a link is said and its
#   shortcuts are left as they are;
# - a profiles.ini naming another user's Firefox profile, and a browser
#   maker's folder linked to another user's, leave those profiles as they
#   are, each said in one line;
# - while another run holds the machine's lock, an undo waits, says what
#   runs and ends with exit 2, changing nothing.
# Usage: turned_against_test.sh ARCH PREFIX-ROOT QINGHE-CLI SAFE-PATH-PROBE LOCK-PROBE
set -euo pipefail
arch=$1 root=$2 cli=$3 safe_path_probe=$4 lock_probe=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

address='https://www.user-home.cn/'
qinghe_test_prefix "$root" "$arch" turned_against
# Wine runs the Startup folders at a session's start: one server throughout.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true

drive_c="$prefix/drive_c"
user_dir=$(qinghe_wine_user_dir "$prefix")
user=$(basename "$user_dir")
user_win="C:\\users\\$user"
programs="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
common_programs="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
startup=$(find "$programs" -maxdepth 1 -iname startup | head -1)
common_startup=$(find "$common_programs" -maxdepth 1 -iname startup | head -1)
check_true "Wine made both Startup folders" test -d "$startup" -a -d "$common_startup"
startup_name=$(basename "$startup")

utf8() { iconv -f GBK -t UTF-8 | tr -d '\r'; }
tree_sum() { (cd "$1" && find . -print0 | LC_ALL=C sort -z | xargs -0 -r sha1sum 2>/dev/null; find . | LC_ALL=C sort); }
has_line() { grep -qxF -- "$2" <<<"$1"; }

# --- The file layer itself.
mkdir -p "$drive_c/victim/Startup/empty" "$drive_c/plain"
printf keep >"$drive_c/victim/Startup/keep.vbs"
printf same >"$drive_c/victim/Startup/same.bat"
victim_before=$(tree_sum "$drive_c/victim")
ln -s "$drive_c/victim" "$user_dir/through"
probe=$(wine "$safe_path_probe" "$user_win\\through\\Startup" 'C:\plain' | tr -d '\r')
for call in WriteNewFile CreateFolder CreatePrivateFolder AppendToFile ReplaceFileSafely \
            MoveOverFile DeleteFileHolding DeleteOneFile RemoveFolder; do
  check_true "through a link: $call refused" has_line "$probe" "through $call refused"
  check_true "without a link: $call done" has_line "$probe" "plain $call done"
done
check_true "a link on the way is seen" has_line "$probe" "through LeadsThroughLink done"
check_true "no link on a plain way" has_line "$probe" "plain LeadsThroughLink refused"
check_equal "nothing behind the link changed" "$victim_before" "$(tree_sum "$drive_c/victim")"
rm "$user_dir/through"

# --- The undo, after the programs folder was swapped for a link.
printf '@echo off\r\nstart http://hao.hijack.test/\r\n' >"$startup/homekeeper.bat"
repair=$(wine "$cli" repair "$address" | utf8 || true)
check_true "the repair removed the Startup script" test ! -e "$startup/homekeeper.bat"
check_true "the repair said so" grep -q "homekeeper.bat 已删除" <<<"$repair"
mv "$programs" "$programs.own"
ln -s "$common_programs" "$programs"
status=0
undo=$(wine "$cli" undo | utf8) || status=$?
check_true "the undo did not finish ($status)" test "$status" -ne 0
check_true "no script in the all-users Startup folder" test ! -e "$common_startup/homekeeper.bat"
# That one place is said and left; the rest of the bundle is undone.
check_true "the undo said why: $undo" has_line "$undo" "撤销失败：homekeeper.bat（所在路径经过链接，未写入）"
check_true "and undid the rest: $undo" grep -q "^撤销：" <<<"$undo"
rm "$programs"
mv "$programs.own" "$programs"
undo=$(wine "$cli" undo | utf8 || true)
check_true "with the folder back, the undo finishes: $undo" has_line "$undo" "撤销完成"
check_equal "the script is back" $'@echo off\r\nstart http://hao.hijack.test/\r' \
  "$(cat "$startup/homekeeper.bat")"
rm "$startup/homekeeper.bat"

# --- A desktop value that leads through a link.
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
mkdir -p "$drive_c/victim3/Desktop"
printf 'uninstaller link' >"$drive_c/victim3/Desktop/卸载.lnk"
ln -s "$drive_c/victim3" "$user_dir/moved"
wine reg add "$shell_folders" /v Desktop /t REG_EXPAND_SZ /d "$user_win\\moved\\Desktop" /f >/dev/null
victim3_before=$(tree_sum "$drive_c/victim3")
check=$(wine "$cli" check "$address" | utf8 || true)
repair=$(wine "$cli" repair "$address" | utf8 || true)
check_equal "nothing below the linked desktop changed" "$victim3_before" "$(tree_sum "$drive_c/victim3")"
check_true "no back-up folder behind the link" test ! -e "$drive_c/victim3/Desktop/修复前桌面图标备份"
folder_line="用户文件夹：桌面（$user_win\\moved\\Desktop\\）的路径经过链接，其中的项目已跳过"
check_true "the check said the desktop was left: $check" has_line "$check" "$folder_line"
check_true "the repair said so too" has_line "$repair" "$folder_line"
wine reg add "$shell_folders" /v Desktop /t REG_EXPAND_SZ /d '%USERPROFILE%\Desktop' /f >/dev/null
rm "$user_dir/moved"

# --- Profiles of another user.
other="$drive_c/users/other"
mkdir -p "$other/AppData/Roaming/Mozilla/Firefox/Profiles/x.default" \
  "$other/AppData/Local/Google/Chrome/User Data/Default"
hijacked_prefs='user_pref("browser.startup.homepage", "http://hao.hijack.test/");'
printf '%s\n' "$hijacked_prefs" >"$other/AppData/Roaming/Mozilla/Firefox/Profiles/x.default/prefs.js"
printf '{"homepage":"http://hao.hijack.test/","homepage_is_newtabpage":false}' \
  >"$other/AppData/Local/Google/Chrome/User Data/Default/Preferences"
firefox="$user_dir/AppData/Roaming/Mozilla/Firefox"
mkdir -p "$firefox"
printf '[Profile0]\r\nName=other\r\nIsRelative=0\r\nPath=C:\\users\\other\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\x.default\r\n' \
  >"$firefox/profiles.ini"
ln -s "$other/AppData/Local/Google" "$user_dir/AppData/Local/Google"
other_before=$(tree_sum "$other")
check=$(wine "$cli" check "$address" | utf8 || true)
repair=$(wine "$cli" repair "$address" | utf8 || true)
check_equal "another user's profiles are as they were" "$other_before" "$(tree_sum "$other")"
check_true "the check names the Firefox profile left: $check" has_line "$check" \
  "浏览器主页：Firefox（x.default）配置文件夹不在 Firefox 自己的文件夹内，不会修改"
check_true "the repair too: $repair" has_line "$repair" \
  "浏览器主页：Firefox（x.default）未修改：配置文件夹不在 Firefox 自己的文件夹内"
check_true "the check names the linked Chrome folder" has_line "$check" \
  "浏览器主页：Chrome（User Data）用户数据文件夹的路径经过链接，不会修改"
check_true "the repair too" has_line "$repair" \
  "浏览器主页：Chrome（User Data）未修改：用户数据文件夹的路径经过链接"
rm "$user_dir/AppData/Local/Google" "$firefox/profiles.ini"

# --- One run at a time.
wine "$lock_probe" 20 >"$prefix/lock.out" &
lock_pid=$!
for _ in $(seq 100); do grep -q held "$prefix/lock.out" 2>/dev/null && break; sleep 0.2; done
check_true "the stand-in run holds the lock" grep -q held "$prefix/lock.out"
before=$(tree_sum "$user_dir")
status=0
started=$(date +%s)
undo=$(wine "$cli" undo | utf8) || status=$?
check_equal "a second run ends with exit 2" 2 "$status"
check_equal "and says what runs" "另一个青禾正在运行（修复），请等它结束后再试" "$undo"
check_true "after waiting a few seconds" test $(($(date +%s) - started)) -ge 4
check_equal "changing nothing" "$before" "$(tree_sum "$user_dir")"
kill "$lock_pid" 2>/dev/null || true
wait "$lock_pid" 2>/dev/null || true

check_summary
