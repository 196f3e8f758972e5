#!/usr/bin/env bash
# Takes the README's pictures: the window program on a private X server, in a
# private Wine prefix under build/ seeded as the run command seeds it
# (tools/hijacked_pc.sh). Writes docs/qinghe-check.png (the check's log),
# docs/qinghe-results.png (its results window) and docs/qinghe-undo.png
# (the undo of the repair).
# The 64-bit program takes them (qinghe64.exe, Wine's 64-bit loader); with
# --32 the 32-bit one, where this machine starts 32-bit programs.
#   bash tools/screenshots.sh [--32]
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
qinghe_hijacked_pc_prefix "$root" screenshots "build/$preset/tests/lnk_probe.exe"

qinghe_start_xvfb
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
wine "build/$preset/app/$program" &
rect_file=$root/screenshots.window-rect
shoot() {
  wine "build/$preset/tools/qinghe-window-driver.exe" "$(winepath -w "$rect_file")" "$1" |
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
