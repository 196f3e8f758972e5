#!/usr/bin/env bash
# Times the check of browser profiles against a bare loop that reads and
# parses the same files with the same JSON library, in one private Wine
# prefix (profiles_bench.cpp). Needs the win32 preset.
# Usage: bash bench/profiles.sh [PROFILES [KIB-EACH [ROUNDS [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
profiles=${1:-10} kib=${2:-2048} rounds=${3:-11} arch=${4:-win32}
source tools/wine-lib.sh
cmake --build --preset win32 --target profiles_bench >/dev/null
root=$PWD/build/win32/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-profiles
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/profiles.sh $profiles $kib $rounds $arch"
wine build/win32/bench/profiles_bench.exe "$profiles" "$kib" "$rounds"
