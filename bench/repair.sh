#!/usr/bin/env bash
# Times a repair of seeded shortcuts through the window, through qinghe-cli and
# as a minimal loop of the same link calls, in one private Wine prefix on a
# private X server, and reads the window program's memory before and after.
# Needs the preset bench/bench_lane.sh picks built (its tests' link probe seeds the links).
# Usage: bash bench/repair.sh [DESKTOP-LINKS [QUICK-LAUNCH-LINKS [ROUNDS [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
desktop=${1:-1000} quick=${2:-100} rounds=${3:-3} arch=${4:-$default_arch}
source tests/wine/xvfb.sh
cmake --build --preset "$preset" --target qinghe qinghe-cli lnk_probe repair_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-repair
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
qinghe_wine_seed_hijack
win() { winepath -w "$1" 2>/dev/null; }
echo "command: bash bench/repair.sh $desktop $quick $rounds $arch"
wine $build/bench/repair_bench.exe "$(win $build/app/$qinghe_exe)" \
  "$(win $build/app/$qinghe_cli)" "$(win $build/tests/lnk_probe.exe)" \
  "$desktop" "$quick" "$rounds"
