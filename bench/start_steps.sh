#!/usr/bin/env bash
# Where qinghe.exe's start goes beyond its floor's: the start probes (copies of
# qinghe.exe's start and of the floors, bench/start_probe_qinghe.cpp and
# bench/bare_controls.cpp) note the time of each step, timed as bench/start.sh
# times the programs, in one private Wine prefix on a private X server.
# Usage: bash bench/start_steps.sh [ROUNDS [ARCH]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
rounds=${1:-15} arch=${2:-$default_arch}
source tests/wine/xvfb.sh
cmake --build --preset "$preset" --target start_probe_qinghe start_probe_floor start_probe_floor_menu \
  start_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_wine_create "$root/base" "$arch"
qinghe_wine_clone "$root/base" "$root/bench-start-steps"
qinghe_wine_env "$root/bench-start-steps" "$arch"
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
win() { winepath -w "$1" 2>/dev/null; }
echo "command: bash bench/start_steps.sh $rounds $arch"
wine $build/bench/start_bench.exe "$rounds" \
  "qinghe.exe's start" "$(win $build/bench/start_probe_qinghe.exe)" WTWindow \
  "floor with the menu" "$(win $build/bench/start_probe_floor_menu.exe)" QingheBareControls \
  "floor" "$(win $build/bench/start_probe_floor.exe)" QingheBareControls
