#!/usr/bin/env bash
# A browser that only looks closed, under Wine, through qinghe-cli: stand-in
# browsers (tests/win32/browser_standin.cpp) copied where Edge and Chrome are
# installed and registered in App Paths, each holding its user-data folder's
# lockfile as Chromium does:
# - Edge with a hidden window that ends on WM_CLOSE (its default folder, no
#   --user-data-dir), and a windowless second process of the same folder;
# - Chrome with a window that ignores WM_CLOSE;
# - what must survive: Edge with another user-data folder, another program
#   naming Edge's folder, and an msedge.exe outside Edge's install folder.
# Without --close-browsers the repair leaves both profiles as today; with it
# each is closed (the window asked, the rest ended), said, and repaired.
# Then the window program, driven by tools/window_driver.cpp: its question
# for each, answered yes for Chrome and no for Edge.
# Usage: close_browsers_test.sh ARCH PREFIX-ROOT QINGHE-CLI STAND-IN QINGHE-EXE WINDOW-DRIVER
set -euo pipefail
arch=$1 root=$2 cli=$3 standin=$4 qinghe=$5 driver=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
source "$here/reg_lib.sh"
source "$here/xvfb.sh"

qinghe_test_prefix "$root" "$arch" close_browsers
declare -A pids=()
stop_all() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  qinghe_stop_xvfb
}
qinghe_at_exit stop_all
# The stand-ins' hidden windows need a display.
qinghe_start_xvfb

user_dir=$(qinghe_wine_user_dir "$prefix")
win_user="C:\\users\\$(basename "$user_dir")"
address=https://www.user-home.cn/
hijacked='{"homepage":"http://hao.evil.cn/","homepage_is_newtabpage":false}'
edge_data="$win_user\\AppData\\Local\\Microsoft\\Edge\\User Data"
chrome_data="$win_user\\AppData\\Local\\Google\\Chrome\\User Data"

install() {  # WINDOWS-PATH [APP-PATHS-NAME]: the stand-in copied there
  local unix
  unix=$(winepath -u "$1")
  mkdir -p "$(dirname "$unix")"
  cp "$standin" "$unix"
  [ -z "${2:-}" ] || reg_exe add "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\$2" \
    /ve /d "$1" /f >/dev/null
}
edge='C:\Program Files\Microsoft\Edge\Application\msedge.exe'
chrome='C:\Program Files\Google\Chrome\Application\chrome.exe'
install "$edge" msedge.exe
install "$chrome" chrome.exe
install 'C:\Program Files\Other\helper.exe'
install "$win_user\\Temp\\msedge.exe"

for data in "$edge_data" "$chrome_data" "$win_user\\OtherEdge"; do
  mkdir -p "$(winepath -u "$data")/Default"
  printf '%s' "$hijacked" >"$(winepath -u "$data")/Default/Preferences"
done

start() {  # NAME EXE KIND [ARGUMENT]: runs a stand-in and waits for it to hold
  wine "$(winepath -u "$2")" "${@:3}" >"$prefix/$1.out" 2>&1 &
  pids[$1]=$!
  for _ in $(seq 150); do grep -q held "$prefix/$1.out" 2>/dev/null && break; sleep 0.1; done
  check_true "$1 started" grep -qx held <(tr -d '\r' <"$prefix/$1.out")
}
running() { kill -0 "${pids[$1]}" 2>/dev/null; }
start edge_window "$edge" window
start edge_boost "$edge" windowless-free "--user-data-dir=$edge_data\\"
start chrome_deaf "$chrome" deaf "--user-data-dir=$chrome_data"
start edge_other "$edge" window "--user-data-dir=$win_user\\OtherEdge"
start helper 'C:\Program Files\Other\helper.exe' window-free "--user-data-dir=$edge_data"
start lookalike "$win_user\\Temp\\msedge.exe" window-free
everyone="edge_window edge_boost chrome_deaf edge_other helper lookalike"

run() { wine "$cli" "$@" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' || true; }
profile_lines() { grep '^浏览器主页：' || true; }

check=$(run check "$address")
check_true "the check says Edge runs" \
  grep -qF "浏览器主页：Edge（Default）浏览器正在运行，修复前请先关闭" <<<"$check"
check_true "the check says Chrome runs" \
  grep -qF "浏览器主页：Chrome（Default）浏览器正在运行，修复前请先关闭" <<<"$check"

log=$(run repair "$address")
check_equal "without --close-browsers both are left as today" \
  "浏览器主页：Chrome（Default）已跳过，请先关闭浏览器
浏览器主页：Edge（Default）已跳过，请先关闭浏览器" "$(profile_lines <<<"$log")"
for name in $everyone; do check_true "$name still runs after the check and the repair" running "$name"; done

log=$(run --close-browsers repair "$address")
check_equal "with --close-browsers each is closed, said, and repaired" \
  "浏览器主页：已关闭后台运行的 Chrome
浏览器主页：已关闭后台运行的 Edge
浏览器主页：Chrome（Default）已恢复默认
浏览器主页：Edge（Default）已恢复默认" "$(profile_lines <<<"$log")"
for data in "$edge_data" "$chrome_data"; do
  check_equal "$data: the start settings are gone" '{}' "$(cat "$(winepath -u "$data")/Default/Preferences")"
done
check_equal "Edge's other folder is untouched" "$hijacked" \
  "$(cat "$user_dir/OtherEdge/Default/Preferences")"
for name in edge_other helper lookalike; do check_true "$name survives" running "$name"; done
status() { local code=0; wait "${pids[$1]}" || code=$?; unset "pids[$1]"; echo "$code"; }
check_equal "Edge's window closed it when asked" 0 "$(status edge_window)"
# Wine reports 0 for a process ended while it sleeps: only its end is told.
check_fails "Edge's windowless process was ended" running edge_boost
check_equal "Chrome, deaf to WM_CLOSE, was ended" 1 "$(status chrome_deaf)"

# The window asks, once for each, in a box it owns.
for data in "$edge_data" "$chrome_data"; do
  printf '%s' "$hijacked" >"$(winepath -u "$data")/Default/Preferences"
done
start edge_window "$edge" window
start chrome_deaf "$chrome" deaf "--user-data-dir=$chrome_data"
wine "$qinghe" >/dev/null 2>&1 &
pids[qinghe]=$!
log=$(QINGHE_ANSWERS="yes no" wine "$driver" "$(winepath -w "$prefix/rect")" repair \
  2>"$prefix/questions" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
asked="仍在后台运行（启动加速或后台应用），修复其设置需要先关闭它。现在关闭吗？"
check_equal "the window asked about each once" "Chrome $asked
Edge $asked" "$(iconv -f GBK -t UTF-8 <"$prefix/questions" | tr -d '\r' | grep -F "$asked" || true)"
check_equal "yes closed Chrome; no left Edge as today" \
  "浏览器主页：已关闭后台运行的 Chrome
浏览器主页：Chrome（Default）已恢复默认
浏览器主页：Edge（Default）已跳过，请先关闭浏览器" "$(profile_lines <<<"$log")"
check_fails "Chrome was ended" running chrome_deaf
check_true "Edge still runs" running edge_window
check_equal "Edge's profile is untouched" "$hijacked" \
  "$(cat "$(winepath -u "$edge_data")/Default/Preferences")"
check_summary
