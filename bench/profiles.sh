#!/usr/bin/env bash
# Times the check of browser profiles against a bare loop that reads and
# parses the same files with the same JSON library, in one private Wine
# prefix (profiles_bench.cpp). Needs the preset bench/bench_lane.sh picks.
# Usage: bash bench/profiles.sh [PROFILES [KIB-EACH [ROUNDS [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
profiles=${1:-10} kib=${2:-2048} rounds=${3:-11} arch=${4:-$default_arch}
cmake --build --preset "$preset" --target profiles_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-profiles
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/profiles.sh $profiles $kib $rounds $arch"
wine $build/bench/profiles_bench.exe "$profiles" "$kib" "$rounds"
