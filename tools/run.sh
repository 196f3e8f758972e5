#!/usr/bin/env bash
# Builds the Windows program and repairs a PC hijacked the way bundled
# installers hijack one today (tools/hijacked_pc.sh): a private Wine prefix
# under build/ seeded with a Chrome profile hijacked by Chromium itself, the
# Edge and Chrome policies with a forced extension, a Run entry and a
# scheduled task, a hosts line, a look-alike browser link and the old
# shortcut and start-page hijacks; then qinghe.exe's window. On a display the
# person runs the check and the repair themselves; without one ($DISPLAY
# empty) the window runs on a private X server: the check, its results
# window, the repair of what it lists, with the logs and screenshots.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source tools/hijacked_pc.sh
source tests/wine/xvfb.sh

bash tools/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target qinghe qinghe-window-driver lnk_probe >/dev/null

root=$PWD/build/win32/wine/win64
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
# Seeding runs Wine without a display; the window then starts afresh on one.
qinghe_hijacked_pc_prefix "$root" run build/win32/tests/lnk_probe.exe
exe=build/win32/app/qinghe.exe

if [ -n "${DISPLAY:-}" ]; then
  echo "Opening qinghe.exe on $DISPLAY in the private Wine prefix $root/run:"
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
wine build/win32/tools/qinghe-window-driver.exe "$(winepath -w "$rect_file")" results |
  iconv -f GBK -t UTF-8
shoot "$PWD/build/win32/run-results-window.png"
echo "Screenshot of the results window: $PWD/build/win32/run-results-window.png"
echo
echo "Repairing what it lists:"
wine build/win32/tools/qinghe-window-driver.exe "$(winepath -w "$rect_file")" repair-selected |
  iconv -f GBK -t UTF-8
shoot "$PWD/build/win32/run-finished-window.png"
echo "Screenshot of the finished window: $PWD/build/win32/run-finished-window.png"
