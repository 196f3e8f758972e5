#!/usr/bin/env bash
# Times the launch points' walk against a bare walk that loads each link, in
# one private Wine prefix (launch_points_bench.cpp). Needs the preset bench/bench_lane.sh picks.
# Usage: bash bench/launch_points.sh [FOLDERS [LINKS-PER-FOLDER [ROUNDS [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
folders=${1:-200} per_folder=${2:-10} rounds=${3:-11} arch=${4:-$default_arch}
cmake --build --preset "$preset" --target launch_points_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-launch-points
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/launch_points.sh $folders $per_folder $rounds $arch"
wine $build/bench/launch_points_bench.exe "$folders" "$per_folder" "$rounds"
