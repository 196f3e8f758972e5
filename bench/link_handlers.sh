#!/usr/bin/env bash
# Times the check of the web-link handlers against a bare loop that reads the
# same keys, in one private Wine prefix (link_handlers_bench.cpp). Needs the
# win32 preset.
# Usage: bash bench/link_handlers.sh [CLASSES [ROUNDS [HIJACKED [ARCH]]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
classes=${1:-2000} rounds=${2:-11} hijacked=${3:-0} arch=${4:-win32}
source tools/wine-lib.sh
cmake --build --preset win32 --target link_handlers_bench >/dev/null
root=$PWD/build/win32/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-link-handlers
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
echo "command: bash bench/link_handlers.sh $classes $rounds $hijacked $arch"
wine build/win32/bench/link_handlers_bench.exe "$classes" "$rounds" "$hijacked"
