#!/usr/bin/env bash
# The real qinghe.exe driven by the end-to-end test program, under Wine on a
# private X server, in a private prefix seeded with a hijack. Screenshots of
# both pages and of the notice box land in SHOTS/ARCH as PNG files.
# Usage: window_e2e_test.sh ARCH PREFIX-ROOT QINGHE-EXE E2E-EXE PROBE-DLL SHOTS
set -euo pipefail
arch=$1 root=$2 exe=$3 e2e=$4 probe=$5 shots=$6/$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../skip_guard.sh"
source "$here/../../tools/wine-lib.sh"
source "$here/xvfb.sh"

qinghe_test_prefix "$root" "$arch" window_e2e
qinghe_at_exit qinghe_stop_xvfb
qinghe_start_xvfb

# No window manager here: Wine draws the frames itself, to the exact size.
wine reg add 'HKEY_CURRENT_USER\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
qinghe_wine_seed_hijack

rm -rf "$shots"
mkdir -p "$shots"
set +e
QINGHE_EXE=$(winepath -w "$exe") QINGHE_PROBE_DLL=$(winepath -w "$probe") \
  QINGHE_SHOTS=$(winepath -w "$shots") wine "$e2e"
status=$?
set -e
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" -alpha off "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "screenshots: $shots"
exit $status
