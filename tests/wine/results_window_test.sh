#!/usr/bin/env bash
# The check's results window of the real qinghe.exe, driven from another
# process on a private X server, in a private prefix seeded as bundled
# installers hijack a PC today (tools/hijacked_pc.sh); then the files every
# run leaves: the check's and the undo's logs, the repair's log in its
# bundle.
# Usage: results_window_test.sh ARCH PREFIX-ROOT QINGHE-EXE QINGHE-CLI E2E-EXE LNK-PROBE
set -euo pipefail
arch=$1 root=$2 exe=$3 cli=$4 e2e=$5 probe=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/../../tools/hijacked_pc.sh"
source "$here/check.sh"
source "$here/xvfb.sh"

qinghe_test_prefix "$root" "$arch" results_window
qinghe_at_exit qinghe_stop_xvfb
# One server for the whole test: no session starts after the seeding, so
# Wine runs none of the seeded Run values itself.
wineserver -p
qinghe_seed_hijacked_pc "$probe" "$prefix/made"
qinghe_start_xvfb
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null

user_dir=$(qinghe_wine_user_dir "$prefix")
run_folder="C:\\users\\$(basename "$user_dir")\\Desktop"
set +e
QINGHE_EXE=$(winepath -w "$exe") QINGHE_CLI=$(winepath -w "$cli") \
  QINGHE_RUN_FOLDER=$run_folder wine "$e2e"
status=$?
set -e

# What each run leaves for a person to send.
logs="$user_dir/AppData/Local/qinghe/logs"
repairs="$user_dir/AppData/Local/qinghe/repairs"
bom=$(printf '\xef\xbb\xbf')
check_true "the window's check left its log" compgen -G "$logs/check-*.txt"
check_true "the window's undo left its log" compgen -G "$logs/undo-*.txt"
check_log=$(ls "$logs"/check-*.txt 2>/dev/null | head -1 || true)
check_equal "a log begins with the UTF-8 mark" "$bom" "$(head -c 3 "$check_log")"
check_true "and says the Windows it ran on" grep -q '^Windows：' "$check_log"
check_true "and holds the check's lines" grep -q '^检查（不做修改）：' "$check_log"
bundle_log=$(ls -d "$repairs"/*/ 2>/dev/null | head -1 || true)log.txt
check_true "the repair left its log in its bundle" test -s "$bundle_log"
check_true "with CR LF line ends" grep -q $'\r$' "$bundle_log"
check_true "naming what it repaired" grep -q '浏览器策略' "$bundle_log"
check_summary || status=1
exit "$status"
