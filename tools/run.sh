#!/usr/bin/env bash
# Builds the Windows program and repairs a PC hijacked the way bundled
# installers hijack one today (tools/hijacked_pc.sh): a private Wine prefix
# under build/ seeded with a Chrome profile hijacked by Chromium itself, the
# Edge and Chrome policies with a forced extension, a Run entry and a
# scheduled task, a hosts line, a look-alike browser link and the old
# shortcut and start-page hijacks; then the program's window. On a display the
# person runs the check and the repair themselves; without one ($DISPLAY
# empty) the window runs on a private X server: the check, its results
# window, the repair of what it lists, with the logs and screenshots.
# The 64-bit program (qinghe64.exe) runs, under Wine's 64-bit loader; with
# --32 the 32-bit one, where this machine starts 32-bit programs.
#   bash tools/run.sh [--32]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source tools/hijacked_pc.sh
source tests/wine/xvfb.sh
source tools/run_lane.sh

bash tools/install-deps.sh
qinghe_run_lane "${1:-}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target qinghe qinghe-window-driver lnk_probe >/dev/null

root=$PWD/build/$preset/wine/win64
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
# Seeding runs Wine without a display; the window then starts afresh on one.
qinghe_hijacked_pc_prefix "$root" run "build/$preset/tests/lnk_probe.exe"
exe=build/$preset/app/$program
driver=build/$preset/tools/qinghe-window-driver.exe

if [ -n "${DISPLAY:-}" ]; then
  echo "Opening $program on $DISPLAY in the private Wine prefix $root/run:"
  echo "choose 文件 > 检查（不做修改） to see the results window, or click 一键修复主页."
  wine "$exe"
  exit 0
fi

qinghe_start_xvfb
# No window manager on this server: Wine draws the frame itself.
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
wine "$exe" &
rect_file=$root/run.window-rect
shoot() {
  local left top width height
  read -r left top width height <"$rect_file"
  import -display "$DISPLAY" -window root -crop "${width}x${height}+${left}+${top}" +repage "$1"
}
echo "Checking a hijacked PC in the private Wine prefix $root/run:"
wine "$driver" "$(winepath -w "$rect_file")" results |
  iconv -f GBK -t UTF-8
shoot "$PWD/build/$preset/run-results-window.png"
echo "Screenshot of the results window: $PWD/build/$preset/run-results-window.png"
echo
echo "Repairing what it lists:"
wine "$driver" "$(winepath -w "$rect_file")" repair-selected |
  iconv -f GBK -t UTF-8
shoot "$PWD/build/$preset/run-finished-window.png"
echo "Screenshot of the finished window: $PWD/build/$preset/run-finished-window.png"
