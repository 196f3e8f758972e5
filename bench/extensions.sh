#!/usr/bin/env bash
# Times the check of browser profiles that hold extensions against a bare
# loop that reads and parses the same files (settings files and every
# manifest.json) with the same JSON library, in one private Wine prefix
# (extensions_bench.cpp). Needs the preset bench/bench_lane.sh picks.
# Usage: bash bench/extensions.sh [PROFILES [ROUNDS [HIJACKED-EACH [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
profiles=${1:-10} rounds=${2:-11} hijacked=${3:-2} arch=${4:-$default_arch}
cmake --build --preset "$preset" --target extensions_bench >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-extensions
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/extensions.sh $profiles $rounds $hijacked $arch"
wine $build/bench/extensions_bench.exe "$profiles" "$rounds" "$hijacked"
