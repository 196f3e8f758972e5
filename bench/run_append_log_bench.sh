#!/usr/bin/env bash
# Builds and runs the log-append benchmark under Wine on a private X server,
# in a private prefix under build/: the program's append against the same
# three messages sent to a bare edit box, paired round by round.
# Usage: bash bench/run_append_log_bench.sh [ROUNDS [ARCH]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
rounds=${1:-7} arch=${2:-$default_arch}
source tests/wine/xvfb.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target append_log_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-log
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
echo "command: bash bench/run_append_log_bench.sh $rounds $arch"
wine $build/bench/append_log_bench.exe "$rounds"
