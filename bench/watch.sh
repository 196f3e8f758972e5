#!/usr/bin/env bash
# Times the watch run at logon on a PC hijacked as the run command's is
# (tools/hijacked_pc.sh), from its start until it has told, and reads its
# peak memory, against the console's check of the same PC and a console
# program that does nothing, taking turns in one private Wine prefix on a
# private X server (watch_bench.cpp). Then the same on that PC once
# repaired, where the watch ends at once. The watch is turned on first, as
# a user would, and its copy is what runs.
# Usage: bash bench/watch.sh [ROUNDS [ARCH]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
source tools/hijacked_pc.sh
rounds=${1:-5} arch=${2:-$default_arch}
source tests/wine/xvfb.sh
cmake --build --preset "$preset" -j2 --target qinghe qinghe-cli lnk_probe watch_bench console_floor bare_window \
  >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-watch
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
qinghe_wine_start_scheduler
win() { winepath -w "$1" 2>/dev/null; }
address=http://www.example.com/
cli=$(win $build/app/$qinghe_cli)
qinghe_seed_hijacked_pc "$(win $build/tests/lnk_probe.exe)" "$root/bench-watch.work"
wine "$cli" watch on "$address" >/dev/null
local_app=$(qinghe_wine_user_dir "$WINEPREFIX")/AppData/Local/qinghe
measure() {
  wine $build/bench/watch_bench.exe "$rounds" "$(win "$local_app/logs")" \
    "$(win "$local_app/bin/qinghe-watch.exe")" "$address" "$cli" "$(win $build/bench/console_floor.exe)" \
    "$(win $build/bench/bare_window.exe)"
}
echo "command: bash bench/watch.sh $rounds $arch"
echo "the hijacked PC:"
measure
wine "$cli" repair "$address" >/dev/null || true
echo "the same PC repaired:"
measure
wine "$cli" watch off >/dev/null
