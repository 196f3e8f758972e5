#!/usr/bin/env bash
# Times the check of the desktop's namespace items (50, among 2,000 other
# CLSID keys) against a bare loop that reads the same keys through advapi32,
# in one private Wine prefix (desktop_items_bench.cpp). Needs the preset bench/bench_lane.sh picks.
# Usage: bash bench/desktop_items.sh [ITEMS [ROUNDS [HIJACKED [OTHER-CLASSES [ARCH]]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
items=${1:-50} rounds=${2:-11} hijacked=${3:-2} others=${4:-2000} arch=${5:-$default_arch}
cmake --build --preset "$preset" --target desktop_items_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-desktop-items
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/desktop_items.sh $items $rounds $hijacked $others $arch"
wine $build/bench/desktop_items_bench.exe "$items" "$rounds" "$hijacked" "$others"
