#!/usr/bin/env bash
# Times the check of what puts a hijack back (Run values, scheduled tasks
# and services)
# against a bare loop that reads the same entries, in one private Wine
# prefix (reapply_bench.cpp). Needs the preset bench/bench_lane.sh picks.
# Usage: bash bench/reapply.sh [RUN-VALUES [SERVICES [ROUNDS [ARCH [TASKS]]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
runs=${1:-200} services=${2:-400} rounds=${3:-41} arch=${4:-$default_arch} tasks=${5:-300}
cmake --build --preset "$preset" --target reapply_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-reapply
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# One server for the whole run: Wine runs Run values at a session's start.
wineserver -p
echo "command: bash bench/reapply.sh $runs $services $rounds $arch $tasks"
wine $build/bench/reapply_bench.exe "$runs" "$services" "$rounds" "$tasks"
