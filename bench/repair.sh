#!/usr/bin/env bash
# Times a repair of seeded shortcuts through the window, through qinghe-cli and
# as a minimal loop of the same link calls, in one private Wine prefix on a
# private X server, and reads the window program's memory before and after.
# Needs the win32 preset built (its tests' link probe seeds the links).
# Usage: bash bench/repair.sh [DESKTOP-LINKS [QUICK-LAUNCH-LINKS [ROUNDS [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
desktop=${1:-1000} quick=${2:-100} rounds=${3:-3} arch=${4:-win32}
source tools/wine-lib.sh
source tests/wine/xvfb.sh
cmake --build --preset win32 --target qinghe qinghe-cli lnk_probe repair_bench >/dev/null
root=$PWD/build/win32/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-repair
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
qinghe_wine_seed_hijack
win() { winepath -w "$1" 2>/dev/null; }
echo "command: bash bench/repair.sh $desktop $quick $rounds $arch"
wine build/win32/bench/repair_bench.exe "$(win build/win32/app/qinghe.exe)" \
  "$(win build/win32/app/qinghe-cli.exe)" "$(win build/win32/tests/lnk_probe.exe)" \
  "$desktop" "$quick" "$rounds"
