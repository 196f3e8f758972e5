#!/usr/bin/env bash
# The watch at logon, the whole way under Wine on a private X server: the
# console turns it on (the copy, and the task read back through the Task
# Scheduler's own interface; Wine's scheduler service is started, never
# its files written); the copy run as the task runs it, on the repaired
# PC, shows nothing and ends at once; re-hijacked (the machine's start page
# too), an icon in the notification area whose balloon names it, and a
# click on the icon that opens the window program on the check's results
# (Wine has no UAC: the "runas" start is a plain one); a planted task named
# like ours is still reported; `watch off` and the undo each leave the PC
# as it was. Wine with no X tray shows its stand-alone "Wine System Tray"
# window, which the balloon points at; the screenshot of it is
# SHOTS/ARCH/watch-notification.png.
# Usage: watch_window_test.sh ARCH PREFIX-ROOT QINGHE-EXE QINGHE-CLI TRAY-PROBE TASK-PROBE SHOTS
set -euo pipefail
arch=$1 root=$2 exe=$3 cli=$4 probe=$5 task_probe=$6 shots=$7/$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/xvfb.sh"
source "$here/prefix_state.sh"

qinghe_test_prefix "$root" "$arch" watch_window
qinghe_at_exit qinghe_stop_xvfb
qinghe_start_xvfb
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
mkdir -p "$shots"
rm -f "$shots/watch-notification.png"
address=http://www.example.com/

qinghe_wine_start_scheduler
say() { iconv -f GBK -t UTF-8 | tr -d '\r'; }
copy_unix=$(qinghe_wine_user_dir "$prefix")/AppData/Local/qinghe/bin/qinghe-watch.exe
# The registry, the user's files and the tasks' definitions, but for the
# logs and bundles every run adds. Every program of the prefix is ended
# first (the scheduler's service keeps the server up): the server writes
# the registry out as it goes.
state() {
  wineserver -k >/dev/null 2>&1 || true
  qinghe_whole_registry "$prefix"
  find "$prefix/drive_c/users" "$prefix/drive_c/windows/system32/tasks" -path '*/qinghe/logs' -prune \
    -o -path '*/qinghe/repairs' -prune -o -print | sort
}

# The PC as a repair leaves it for this address: nothing to tell.
wine "$cli" repair "$address" >/dev/null || true

on=$(wine "$cli" watch on "$address" | say) || true
echo "$on"
check_true "watch on says it is on" grep -q '^登录时检查已开启' <<<"$on"
task=$(grep -o '计划任务 \\qinghe-watch-S-[0-9-]*' <<<"$on" | sed 's/^计划任务 //')
check_true "through a task named for this user ($task)" test -n "$task"
shown=$(wine "$task_probe" show "$task" || true)
echo "$shown"
check_true "the scheduler holds the task" grep -qx 'exists' <<<"$shown"
check_true "with its description" grep -q '^description 青禾：每次登录时' <<<"$shown"
check_true "the copy is there" test -s "$copy_unix"
# The copy is the window program but for its run level, in place.
differing=$( (cmp -l "$exe" "$copy_unix" || true) | wc -l)
check_true "the copy differs from the program only in its run level ($differing bytes)" \
  test "$differing" -gt 0 -a "$differing" -le 24
check_true "its manifest asks for the caller's own rights" grep -aq 'level="asInvoker"' "$copy_unix"
status=$(wine "$cli" watch status | say)
check_true "watch status says on" grep -q '登录时检查：已开启' <<<"$status"
check_true "and the task" grep -qF "计划任务 $task" <<<"$status"
check_fails "the check does not report the watch's own task" \
  grep -q 'qinghe-watch' <<<"$(wine "$cli" check "$address" | say || true)"
copy=$(winepath -w "$copy_unix")

# The copy as the task starts it, on the repaired PC: nothing shown, at once.
set +e
start=$SECONDS
timeout 60 wine "$copy" --watch "$address"
clean_status=$?
clean_took=$((SECONDS - start))
set -e
check_equal "on a clean PC the watch ends with 0" 0 "$clean_status"
check_true "and at once (${clean_took}s)" test "$clean_took" -lt 30
check_true "showing no icon" wine "$probe" none 3
check_true "its log is kept beside the others" \
  test -n "$(find "$(qinghe_wine_user_dir "$prefix")/AppData/Local/qinghe/logs" -name 'watch-*.txt')"

# Re-hijacked machine-wide only, and the copy started as the task starts
# it: with the user's own unelevated token.
wine reg add 'HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Main' /v 'Start Page' \
  /d http://machine.hijack.example/ /f >/dev/null
wine "$probe" limited "$copy" --watch "$address" &
watch_pid=$!
qinghe_at_exit "kill $watch_pid 2>/dev/null || true"

set +e
balloon=$(wine "$probe" balloon 30)
balloon_status=$?
set -e
echo "$balloon"
check_equal "a balloon came" 0 "$balloon_status"
check_true "it says the home page was changed again" grep -q '浏览器主页又被改了' <<<"$balloon"
check_true "it names the browser and the hijacker's page" \
  grep -q "IE 浏览器：http://machine.hijack.example/" <<<"$balloon"
check_true "and what a click does" grep -q '点此查看并修复' <<<"$balloon"
# The tip is read through the tray's own memory (TTM_GETTEXTW): a 32-bit
# probe cannot read a 64-bit tray's, the 32-bit lane in the 64-bit prefix.
if [ "$arch" = win64 ] && [ "$(qinghe_wine_program_bits)" = 32 ]; then
  echo "the icon's tip is not read: the tray is a 64-bit process, the probe a 32-bit one"
else
  check_true "the icon's tip" grep -qx 'tip: 青禾：主页又被改了' <<<"$balloon"
fi
check_true "the watch keeps running while the icon is up" kill -0 "$watch_pid"

if wine "$probe" shot "$(winepath -w "$shots/watch-notification.bmp")"; then
  convert "$shots/watch-notification.bmp" -alpha off "$shots/watch-notification.png"
  rm -f "$shots/watch-notification.bmp"
fi
check_true "the screenshot was taken" test -s "$shots/watch-notification.png"

check_true "the icon takes a click" wine "$probe" click
set +e
results=$(wine "$probe" results 60)
results_status=$?
set -e
echo "$results"
check_equal "the click opened the check's results" 0 "$results_status"
check_true "in their window" grep -qx 'title: 检查结果' <<<"$results"
check_true "listing the machine's hijacked start page" \
  grep -q 'HKEY_LOCAL_MACHINE.*Internet Explorer\\Main\\Start Page' <<<"$results"
newest_log=$(ls -t "$(qinghe_wine_user_dir "$prefix")"/AppData/Local/qinghe/logs/watch-*.txt | head -1)
check_true "the watch ran unelevated" grep -q '以管理员身份运行：否' "$newest_log"
main_address=$(wine "$probe" address 2>/dev/null || true)
check_equal "the main window took the watch's address" "$address" "$main_address"

# The watch's part ends with the click: it and its icon are gone.
for _ in $(seq 50); do kill -0 "$watch_pid" 2>/dev/null || break; sleep 0.2; done
check_fails "the watch ended after the click" kill -0 "$watch_pid"
set +e
wait "$watch_pid"
watch_status=$?
set -e
check_equal "with 0" 0 "$watch_status"
check_true "its icon went with it" wine "$probe" none 2

# A hijacker's task named like ours is still reported.
tasks="$prefix/drive_c/windows/system32/tasks"
printf '%s' '<?xml version="1.0" encoding="UTF-8"?><Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Settings><Enabled>true</Enabled></Settings><Actions><Exec><Command>C:\absent\cmd.exe</Command><Arguments>/c start http://task.evil.cn/</Arguments></Exec></Actions></Task>' \
  >"$tasks/qinghe"
check_true "a task named qinghe is still reported" \
  grep -q '计划任务：\\qinghe（' <<<"$(wine "$cli" check "$address" | say || true)"
rm -f "$tasks/qinghe"

# Off from the console while the window the click opened, which runs from
# the copy, is still open: the task and the record go, the copy it runs
# from goes when the watch is turned off again.
off=$(wine "$cli" watch off | say) || true
echo "$off"
check_true "watch off says it is off" grep -q '^登录时检查已关闭' <<<"$off"
check_true "and that the copy runs" grep -q '^本程序的副本正在运行，暂未删除' <<<"$off"
check_fails "the task is gone" wine "$task_probe" show "$task"
check_true "watch status says off" grep -q '登录时检查：未开启' <<<"$(wine "$cli" watch status | say)"
wineserver -k >/dev/null 2>&1 || true
again=$(wine "$cli" watch off | say) || true
check_true "off again removes the copy left" grep -q '^已删除本程序的副本' <<<"$again"
check_fails "the copy's folder is gone" test -e "$(dirname "$copy_unix")"
wine "$cli" repair "$address" >/dev/null || true
off_state=$(state)
wine "$cli" watch on "$address" >/dev/null || true
check_true "on again" test -s "$copy_unix"
undo=$(wine "$cli" undo | say) || true
echo "$undo"
check_true "the undo turns it off" grep -q '撤销完成' <<<"$undo"
check_fails "the task is gone after the undo" wine "$task_probe" show "$task"
check_same_state "on, then the undo, leaves the PC as it was" "$off_state" "$(state)"
wine "$cli" watch on "$address" >/dev/null || true
check_true "on once more" test -s "$copy_unix"
wine "$cli" watch off >/dev/null || true
check_same_state "on, then off, leaves the PC as it was" "$off_state" "$(state)"
echo "screenshot: $shots/watch-notification.png"
check_summary
