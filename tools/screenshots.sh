#!/usr/bin/env bash
# Takes the README's pictures: qinghe.exe on a private X server, in a
# private Wine prefix under build/ seeded as the run command seeds it
# (tools/hijacked_pc.sh). Writes docs/qinghe-check.png (the check's log),
# docs/qinghe-results.png (its results window) and docs/qinghe-undo.png
# (the undo of the repair).
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
qinghe_hijacked_pc_prefix "$root" screenshots build/win32/tests/lnk_probe.exe

qinghe_start_xvfb
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
wine build/win32/app/qinghe.exe &
rect_file=$root/screenshots.window-rect
shoot() {
  wine build/win32/tools/qinghe-window-driver.exe "$(winepath -w "$rect_file")" "$1" |
    iconv -f GBK -t UTF-8
  local left top width height
  read -r left top width height <"$rect_file"
  [ -n "${2:-}" ] && import -display "$DISPLAY" -window root \
    -crop "${width}x${height}+${left}+${top}" +repage "$2"
  return 0
}
shoot check docs/qinghe-check.png
shoot results docs/qinghe-results.png
shoot repair-selected
shoot undo docs/qinghe-undo.png
echo "Written: docs/qinghe-check.png docs/qinghe-results.png docs/qinghe-undo.png"
