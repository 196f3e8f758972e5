#!/usr/bin/env bash
# Tasks read back through Wine's Task Scheduler, by task_probe: the
# scheduler's service started by qinghe_wine_start_scheduler (a second call
# finds it running, and it runs on when no program does); a definition file planted where the scheduler keeps
# them is found with its state and description (UTF-8, markup unescaped),
# its programs unknown (Wine's ITaskDefinition::get_Actions is not
# implemented: tests/win32/scheduled_tasks_win32_test.cpp); a path with no
# task says "absent" and exits 1, a name without its folder exits 2.
# Usage: task_probe_test.sh ARCH PREFIX-ROOT TASK-PROBE
set -euo pipefail
arch=$1 root=$2 probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" task-probe
check_fails "a fresh prefix's scheduler is stopped" qinghe_wine_scheduler_runs
check_true "the scheduler starts" qinghe_wine_start_scheduler
check_true "it runs" qinghe_wine_scheduler_runs
check_true "starting it again is no failure" qinghe_wine_start_scheduler
# Past the end of a session of programs: the service keeps running.
sleep 4
check_true "it still runs with no program running" qinghe_wine_scheduler_runs

tasks="$prefix/drive_c/windows/system32/tasks"
mkdir -p "$tasks"
{
  printf '\xff\xfe'
  printf '<?xml version="1.0" encoding="UTF-16"?>\r\n<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">\r\n  <RegistrationInfo><Description>青禾 &amp; &lt;导航&gt;</Description></RegistrationInfo>\r\n  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n  <Settings><Enabled>false</Enabled></Settings>\r\n  <Actions Context="Author"><Exec><Command>C:\\导航\\a.exe</Command><Arguments>--x "1"</Arguments></Exec></Actions>\r\n</Task>\r\n' |
    iconv -f UTF-8 -t UTF-16LE
} >"$tasks/青禾-planted"

status=0
shown=$(wine "$probe" show '\青禾-planted' 2>&1) || status=$?
check_equal "the planted task is shown" 0 "$status"
check_equal "what is shown of it" \
  "$(printf 'exists\nenabled false\ndescription 青禾 & <导航>\nprograms unknown 0x80004001')" "$shown"

status=0
shown=$(wine "$probe" show '\absent-task' 2>/dev/null) || status=$?
check_equal "a path with no task" "1 absent" "$status $shown"
status=0
wine "$probe" show 'absent-task' >/dev/null 2>&1 || status=$?
check_equal "a name without its folder" 2 "$status"

check_summary
