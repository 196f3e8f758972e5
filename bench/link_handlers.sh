#!/usr/bin/env bash
# Times the check of the web-link handlers against a bare loop that reads the
# same keys, in one private Wine prefix (link_handlers_bench.cpp). Needs the preset
# bench/bench_lane.sh picks.
# Usage: bash bench/link_handlers.sh [CLASSES [ROUNDS [HIJACKED [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
classes=${1:-2000} rounds=${2:-11} hijacked=${3:-0} arch=${4:-$default_arch}
cmake --build --preset "$preset" --target link_handlers_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-link-handlers
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/link_handlers.sh $classes $rounds $hijacked $arch"
wine $build/bench/link_handlers_bench.exe "$classes" "$rounds" "$hijacked"
