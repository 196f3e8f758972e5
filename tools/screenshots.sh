#!/usr/bin/env bash
# Takes the README's pictures of the check and of the undo: qinghe.exe on a
# private X server, in a private Wine prefix under build/ seeded with a
# hijack. Writes docs/qinghe-check.png and docs/qinghe-undo.png.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source tests/wine/xvfb.sh

bash tools/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target qinghe qinghe-window-driver lnk_probe >/dev/null

root=$PWD/build/win32/wine/win64
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_hijacked_window_prefix "$root" screenshots build/win32/tests/lnk_probe.exe
# Browser launch points: a hijacked Chrome link in the start menu, and on the
# public desktop a look-alike of an installed Chrome.
qinghe_wine_env "$root/screenshots" win64
chrome='C:\Program Files\Google\Chrome\Application\chrome.exe'
user=$(basename "$(qinghe_wine_user_dir "$root/screenshots")")
programs="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
wine cmd /c mkdir 'C:\Program Files\Google\Chrome\Application' 'C:\users\Public\Desktop' >/dev/null 2>&1 || true
cp "$root/screenshots/drive_c/windows/system32/notepad.exe" "$(winepath -u "$chrome" 2>/dev/null)"
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\chrome.exe' /ve /d "$chrome" /f >/dev/null
wine build/win32/tests/lnk_probe.exe write "$programs\Google Chrome.lnk" "target=$chrome" \
  'arguments=--profile-directory=Default http://hao.example/' >/dev/null
wine build/win32/tests/lnk_probe.exe write 'C:\users\Public\Desktop\Google Chrome.lnk' \
  'target=C:\Windows\system32\cmd.exe' 'arguments=/c start http://hao.example/' >/dev/null
wineserver -k >/dev/null 2>&1 || true
wineserver -w

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
shoot repair
shoot undo docs/qinghe-undo.png
echo "Written: docs/qinghe-check.png docs/qinghe-undo.png"
