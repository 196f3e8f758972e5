#!/usr/bin/env bash
# The watch's run at logon of the real qinghe.exe (--watch ADDRESS) under
# Wine on a private X server: with a hijack seeded, an icon in the
# notification area whose balloon names it, and a click on the icon that
# opens the window program on the check's results (Wine has no UAC: the
# "runas" start is a plain one); on a clean PC no icon at all and exit 0 at
# once. Wine with no X tray shows its stand-alone "Wine System Tray" window,
# which the balloon points at; the screenshot of it is SHOTS/ARCH/
# watch-notification.png.
# Usage: watch_window_test.sh ARCH PREFIX-ROOT QINGHE-EXE TRAY-PROBE SHOTS
set -euo pipefail
arch=$1 root=$2 exe=$3 probe=$4 shots=$5/$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/xvfb.sh"

qinghe_test_prefix "$root" "$arch" watch_window
qinghe_at_exit qinghe_stop_xvfb
qinghe_start_xvfb
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
mkdir -p "$shots"
rm -f "$shots/watch-notification.png"
address=http://www.example.com/

# A clean PC: nothing shown, at once.
set +e
start=$SECONDS
timeout 60 wine "$exe" --watch "$address"
clean_status=$?
clean_took=$((SECONDS - start))
set -e
check_equal "on a clean PC the watch ends with 0" 0 "$clean_status"
check_true "and at once (${clean_took}s)" test "$clean_took" -lt 30
check_true "showing no icon" wine "$probe" none 3

qinghe_wine_seed_hijack
wine "$exe" --watch "$address" &
watch_pid=$!
qinghe_at_exit "kill $watch_pid 2>/dev/null || true"

set +e
balloon=$(wine "$probe" balloon 30)
balloon_status=$?
set -e
echo "$balloon"
check_equal "a balloon came" 0 "$balloon_status"
check_true "it says the home page was changed again" grep -q '浏览器主页又被改了' <<<"$balloon"
check_true "it names the hijacker's page" grep -q 'hijack.example' <<<"$balloon"
check_true "and what a click does" grep -q '点此查看并修复' <<<"$balloon"
check_true "the icon's tip" grep -qx 'tip: 青禾：主页又被改了' <<<"$balloon"
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
check_true "listing the hijacked start page" grep -q 'Internet Explorer\\Main\\Start Page' <<<"$results"
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
echo "screenshot: $shots/watch-notification.png"
check_summary
