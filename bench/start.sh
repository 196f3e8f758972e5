#!/usr/bin/env bash
# Times qinghe.exe from its start until its window answers, against the floor
# (bench/bare_controls.cpp: a bare window with qinghe.exe's manifest,
# InitCommonControlsEx and the same six controls with their texts, nothing
# else), taking turns in one private Wine prefix on a private X server. The
# rows between: the floor with qinghe.exe's menu; the bare window with the
# manifest and InitCommonControlsEx only; the bare window alone.
# Usage: bash bench/start.sh [ROUNDS [ARCH]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
rounds=${1:-15} arch=${2:-$default_arch}
source tests/wine/xvfb.sh
cmake --build --preset "$preset" --target qinghe bare_window bare_common_controls bare_controls \
  bare_controls_menu start_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_wine_create "$root/base" "$arch"
qinghe_wine_clone "$root/base" "$root/bench-start"
qinghe_wine_env "$root/bench-start" "$arch"
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
win() { winepath -w "$1" 2>/dev/null; }
echo "command: bash bench/start.sh $rounds $arch"
wine $build/bench/start_bench.exe "$rounds" \
  qinghe.exe "$(win $build/app/$qinghe_exe)" WTWindow \
  "floor with the menu" "$(win $build/bench/bare_controls_menu.exe)" QingheBareControls \
  "bare window, common controls 6" "$(win $build/bench/bare_common_controls.exe)" QingheBareWindow \
  bare_window.exe "$(win $build/bench/bare_window.exe)" QingheBareWindow \
  "floor: bare window, six controls" "$(win $build/bench/bare_controls.exe)" QingheBareControls
