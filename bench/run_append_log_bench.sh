#!/usr/bin/env bash
# Builds and runs the log-append benchmark under Wine on a private X server,
# in a private prefix under build/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source tests/wine/xvfb.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target append_log_bench >/dev/null
root=$PWD/build/win32/wine/win32
qinghe_wine_create "$root/base" win32
qinghe_wine_clone "$root/base" "$root/bench"
qinghe_wine_env "$root/bench" win32
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
wine build/win32/bench/append_log_bench.exe
