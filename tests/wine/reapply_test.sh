#!/usr/bin/env bash
# What puts a hijack back, under Wine, through qinghe-cli: Run values made
# by Wine's own reg.exe (in both views in the 64-bit prefix), links made by
# the shell's link object and an Internet shortcut in the Startup folders,
# and debuggers set on browsers' executables:
# - the check names each one that re-applies a hijack, once, with why, and
#   changes nothing;
# - the repair removes them and leaves a real updater's Run value, a link
#   that opens a local file, an Edge redirector's debugger and a debugger on
#   another program;
# - scheduled tasks, as definition files (Wine's scheduler does not
#   connect, so these are what is read): one opening a page and one in a
#   folder writing the start page are disabled in their files, one opening
#   a local help file is left;
# - a service made by Wine's sc.exe that opens a page is set never to start,
#   one with a web address only in its description is left;
# - hosts lines sending a search engine elsewhere are commented out, a
#   blocking line and the user's own translate fix are left; a proxy and a
#   configuration script on this PC are switched off (there is other
#   evidence here);
# - the undo gives every value and file back exactly;
# - a hosts file with a second name is reported by the check and the
#   repair, and written by neither.
# Usage: reapply_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"

address='https://www.user-home.cn/'
views=(/reg:32)
[ "$arch" = win64 ] && views=(/reg:32 /reg:64)
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
options='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
internet='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
services='HKLM\System\CurrentControlSet\Services'

# The keys the repair may touch, in each view, one line per value, sorted.
registry_state() {
  local view key
  for view in "${views[@]}"; do
    for key in "HKCU\\$run_key" "HKLM\\$run_key" "HKLM\\${run_key}Once" "$options" "$internet" \
               "$services\\HomeSvc" "$services\\UpdSvc"; do
      { reg_exe query "$key" /s "$view" || true; } | awk -v view="$view" '
        /^HKEY_/ { key = $0; next }
        /^    / { print view " " key " |" $0 }' | LC_ALL=C sort
    done
  done
}
# The Startup folders' files with their bytes.
files_state() {
  local folder
  for folder in "$startup" "$common_startup"; do
    (cd "$folder" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha1sum)
  done
}
tasks_state() { (cd "$tasks" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha1sum); }
state() { registry_state; files_state; tasks_state; sha1sum <"$hosts"; }
lines() { iconv -f GBK -t UTF-8 | tr -d '\r' | grep -E '^(开机启动项|计划任务|浏览器调试器|系统服务|hosts 文件|网络代理)：' || true; }
# A task definition as the scheduler writes it (UTF-16LE with its mark):
# task_file FILE SETTINGS COMMAND ARGUMENTS
task_file() {
  mkdir -p "$(dirname "$1")"
  {
    printf '\xff\xfe'
    printf '<?xml version="1.0" encoding="UTF-16"?>\r\n<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">\r\n  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n  <Settings>%s<Hidden>true</Hidden></Settings>\r\n  <Actions Context="Author"><Exec><Command>%s</Command><Arguments>%s</Arguments></Exec></Actions>\r\n</Task>\r\n' \
      "$2" "$3" "$4" | iconv -f UTF-8 -t UTF-16LE
  } >"$1"
}
run() { wine "$@" || true; }

qinghe_test_prefix "$root" "$arch" reapply
# Wine runs RunOnce values (and, at a later session's start, Run values and
# the Startup folders) itself: one server for the whole test, so no session
# starts after the seeding. The seeded programs are absent anyway, and no
# address reaches the machine's browser (qinghe_wine_env).
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
user_dir=$(qinghe_wine_user_dir "$prefix")
# The folders as Wine names them ("StartUp"), whatever their letter case.
programs="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
common_programs="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
startup=$(find "$programs" -maxdepth 1 -iname startup | head -1)
common_startup=$(find "$common_programs" -maxdepth 1 -iname startup | head -1)
check_true "Wine made both Startup folders" test -d "$startup" -a -d "$common_startup"
win_user=$(basename "$user_dir")
startup_win="C:\\users\\$win_user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\$(basename "$startup")"
common_win="C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$(basename "$common_startup")"

# Caught: a browser started with a page, a page opened through cmd, a
# debugger on chrome.exe, a Startup link starting a browser with a page and
# an Internet shortcut to a page.
reg_exe add "HKCU\\$run_key" /v HomeKeeper \
  /d '"C:\absent\iexplore.exe" http://hao.evil.cn/' /f >/dev/null
put "HKLM\\${run_key}Once" /v Nav /d 'C:\absent\cmd.exe /c start http://nav.evil.cn/'
put "$options\\chrome.exe" /v Debugger /d 'C:\hp\open.exe http://hao.evil.cn/'
wine "$lnk_probe" write "$startup_win\\浏览器.lnk" \
  'target=C:\Program Files\Google\Chrome\Application\chrome.exe' \
  'arguments=http://hao.evil.cn/?from=startup' >/dev/null
printf '[InternetShortcut]\r\nURL=http://nav.evil.cn/\r\n' >"$common_startup/导航.url"
# Left: a real updater, a link that opens a local file, an Edge redirector,
# a debugger on another program.
put "HKLM\\$run_key" /v GoogleUpdate \
  /d '"C:\Program Files (x86)\Google\Update\GoogleUpdate.exe" /c'
wine "$lnk_probe" write "$startup_win\\Notes.lnk" 'target=C:\windows\notepad.exe' \
  'arguments=C:\Notes\today.txt' >/dev/null
put "$options\\msedge.exe" /v Debugger \
  /d '"C:\Program Files\MSEdgeRedirect\MSEdgeRedirect.exe"'
put "$options\\notepad.exe" /v Debugger /d 'vsjitdebugger.exe'

# Tasks: Wine's schtasks cannot connect to its scheduler, so the
# definitions are written as files where the scheduler keeps them.
tasks="$prefix/drive_c/windows/system32/tasks"
task_file "$tasks/HomeTask" '' 'C:\absent\cmd.exe' '/c start http://task.evil.cn/'
task_file "$tasks/Updater/写主页" '<Enabled>true</Enabled>' 'C:\absent\reg.exe' \
  'add "HKCU\Software\Microsoft\Internet Explorer\Main" /v "Start Page" /d http://task.evil.cn/ /f'
task_file "$tasks/Help" '' 'C:\windows\hh.exe' 'C:\windows\help\guide.chm'

# Services, made by Wine's own sc.exe; started by hand only (a service set
# to start automatically would run at the next session's start).
wine sc create HomeSvc binPath= 'C:\absent\cmd.exe /c start http://svc.evil.cn/' start= demand \
  >/dev/null 2>&1
wine sc create UpdSvc binPath= 'C:\absent\upd.exe' start= demand >/dev/null 2>&1
wine sc description UpdSvc 'See http://www.example.com/' >/dev/null 2>&1 ||
  reg_exe add "$services\\UpdSvc" /v Description /d 'See http://www.example.com/' /f >/dev/null
check_true "sc.exe made the services" reg_exe query "$services\\HomeSvc" /v ImagePath

# A hosts line sending Baidu elsewhere, and a blocking one; a proxy and a
# configuration script on this PC.
hosts="$prefix/drive_c/windows/system32/drivers/etc/hosts"
check_true "the prefix has a hosts file of its own" test "$(stat -c %h "$hosts")" = 1
printf '1.2.3.4 www.baidu.com\r\n0.0.0.0 ads.google.com\r\n142.250.101.90 translate.google.com\r\n' \
  >>"$hosts"
hosts_win='C:\windows\system32\drivers\etc\hosts'
reg_exe add "$internet" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
reg_exe add "$internet" /v ProxyServer /d '127.0.0.1:8888' /f >/dev/null
reg_exe add "$internet" /v AutoConfigURL /d 'http://127.0.0.1:9090/proxy.pac' /f >/dev/null

before=$(state)
check_true "the Run values were seeded" grep -q 'HomeKeeper' <<<"$before"
check_true "the Startup link was made" test -s "$startup/浏览器.lnk"

hkcu_run="HKEY_CURRENT_USER\\$run_key"
hklm_soft='HKEY_LOCAL_MACHINE\Software'
# The 64-bit view first where there are two; the user's Run key is one key
# in both.
hklm=("$hklm_soft")
[ "$arch" = win64 ] && hklm=("$hklm_soft" "$hklm_soft\\WOW6432Node")
want_check=("开机启动项：$hkcu_run\\HomeKeeper（每次开机打开 http://hao.evil.cn/），将删除")
want_repair=("开机启动项：$hkcu_run\\HomeKeeper 已删除（每次开机打开 http://hao.evil.cn/）")
for soft in "${hklm[@]}"; do
  name="$soft\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Nav"
  want_check+=("开机启动项：$name（每次开机打开 http://nav.evil.cn/），将删除")
  want_repair+=("开机启动项：$name 已删除（每次开机打开 http://nav.evil.cn/）")
done
link_name="$startup_win\\浏览器.lnk"
want_check+=("开机启动项：$link_name（每次开机打开 http://hao.evil.cn/?from=startup），将删除")
want_repair+=("开机启动项：$link_name 已删除（每次开机打开 http://hao.evil.cn/?from=startup）")
want_check+=("开机启动项：$common_win\\导航.url（每次开机打开 http://nav.evil.cn/），将删除")
want_repair+=("开机启动项：$common_win\\导航.url 已删除（每次开机打开 http://nav.evil.cn/）")
for task in '\HomeTask（按计划打开 http://task.evil.cn/）' \
  '\Updater\写主页（按计划改写主页设置：Internet Explorer\Main）'; do
  want_check+=("计划任务：$task，将停用")
  want_repair+=("计划任务：$task，已停用")
done
for soft in "${hklm[@]}"; do
  debugger="浏览器调试器：打开 chrome.exe 时先运行 \"C:\\hp\\open.exe http://hao.evil.cn/\"（$soft\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\chrome.exe）"
  want_check+=("$debugger，将删除")
  want_repair+=("$debugger，已删除")
done

want_check+=('系统服务：HomeSvc（随服务启动打开 http://svc.evil.cn/），将禁用'
  'hosts 文件："1.2.3.4 www.baidu.com"，将注释掉'
  "hosts 文件：$hosts_win 中 1 行是用户自己添加的访问修复（如谷歌 hosts），不修改"
  '网络代理：本机代理 127.0.0.1:8888，将关闭'
  '网络代理：自动配置脚本 http://127.0.0.1:9090/proxy.pac，将关闭')
want_repair+=('系统服务：HomeSvc（随服务启动打开 http://svc.evil.cn/），已禁用'
  'hosts 文件："1.2.3.4 www.baidu.com"，已注释掉'
  '网络代理：本机代理 127.0.0.1:8888，已关闭'
  '网络代理：自动配置脚本 http://127.0.0.1:9090/proxy.pac，已关闭')

check=$(run "$cli" check "$address" | lines)
check_equal "the check names each one once, with why" \
  "$(printf '%s\n' "${want_check[@]}")" "$check"
check_equal "the check changed nothing" "$before" "$(state)"

repair=$(run "$cli" repair "$address" | lines)
check_equal "the repair removes each one, a line each" \
  "$(printf '%s\n' "${want_repair[@]}")" "$repair"
after=$(state)
for gone in HomeKeeper Nav 'chrome.exe' '浏览器.lnk' '导航.url'; do
  check_fails "gone: $gone" grep -qF "$gone" <<<"$after"
done
for kept in GoogleUpdate 'msedge.exe' 'notepad.exe' 'Notes.lnk'; do
  check_true "kept: $kept" grep -qF "$kept" <<<"$after"
done
check_true "the task opening a page is disabled in its file" \
  grep -q '<Settings><Enabled>false</Enabled><Hidden>' <(iconv -f UTF-16 -t UTF-8 "$tasks/HomeTask")
check_true "the task writing the start page is disabled in its file" \
  grep -q '<Settings><Enabled>false</Enabled><Hidden>' <(iconv -f UTF-16 -t UTF-8 "$tasks/Updater/写主页")
check_true "the help task is left as it was" grep -qF "$(cd "$tasks" && sha1sum ./Help)" <<<"$before"
check_equal "the service is set never to start" "0x4" \
  "$(reg_exe query "$services\\HomeSvc" /v Start | awk '/Start/ {print $3}')"
check_equal "the other service still starts by hand" "0x3" \
  "$(reg_exe query "$services\\UpdSvc" /v Start | awk '/Start/ {print $3}')"
check_true "the hosts line is commented out" grep -q '^#1.2.3.4 www.baidu.com' "$hosts"
check_true "the blocking hosts line stays" grep -q '^0.0.0.0 ads.google.com' "$hosts"
check_true "the translate fix stays" grep -q '^142.250.101.90 translate.google.com' "$hosts"
check_true "the proxy is off" grep -qE 'ProxyEnable +REG_DWORD +0x0' <<<"$after"
check_fails "the configuration script is gone" grep -q 'AutoConfigURL' <<<"$after"
check_equal "a second repair finds nothing" "" "$(run "$cli" repair "$address" | lines)"

run "$cli" undo >/dev/null
run "$cli" undo >/dev/null
check_equal "the undo gives every value and file back" "$before" "$(state)"

# A second name for the hosts file: reported, never written through.
ln "$hosts" "$prefix/drive_c/hosts-again"
linked=$(sha1sum <"$hosts")
unread="hosts 文件：$hosts_win 无法安全读取，未检查"
check_equal "the check reports a hosts file with a second name" "$unread" \
  "$(run "$cli" check "$address" | lines | grep '^hosts' || true)"
check_equal "so does the repair" "$unread" "$(run "$cli" repair "$address" | lines | grep '^hosts' || true)"
check_equal "and neither writes it" "$linked" "$(sha1sum <"$hosts")"

check_summary
