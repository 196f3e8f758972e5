#!/usr/bin/env bash
# Times the check, the repair with its restore bundle and the undo through
# qinghe-cli, each against a floor loop of the durable calls its work needs
# (and the older bare loop of the link calls alone), in one private
# Wine prefix on a private X server, and reads the window program's memory
# idle and after its check, repair and undo (bundle_bench.cpp). With "memory"
# first, only the window's memory, three ways: as above, without the check
# first, and with the log's page hidden. With "steps" first, where the time
# of each goes (bundle_steps.cpp).
# Needs the preset bench/bench_lane.sh picks built (its tests' link probe seeds the links).
# Usage: bash bench/bundle.sh [memory] [DESKTOP-LINKS [QUICK-LAUNCH-LINKS [ROUNDS [ARCH]]]]
#        bash bench/bundle.sh steps [DESKTOP-LINKS [QUICK-LAUNCH-LINKS [ARCH]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
steps= memory=
if [ "${1:-}" = steps ]; then steps=1; shift; fi
if [ "${1:-}" = memory ]; then memory=memory; shift; fi
desktop=${1:-1000} quick=${2:-100}
if [ -n "$steps" ]; then rounds= arch=${3:-$default_arch}; else rounds=${3:-5} arch=${4:-$default_arch}; fi
source tests/wine/xvfb.sh
cmake --build --preset "$preset" -j2 --target qinghe qinghe-cli lnk_probe bundle_bench console_floor \
  bundle_steps >/dev/null
root=$PWD/$build/wine/$arch
qinghe_bench_prefix "$root" "$arch" bench-bundle
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
win() { winepath -w "$1" 2>/dev/null; }
probe=$(win $build/tests/lnk_probe.exe)
if [ -n "$steps" ]; then
  echo "command: bash bench/bundle.sh steps $desktop $quick $arch"
  wine $build/bench/bundle_steps.exe "$probe" "$desktop" "$quick"
  exit
fi
echo "command: bash bench/bundle.sh ${memory:+memory }$desktop $quick $rounds $arch"
wine $build/bench/bundle_bench.exe "$(win $build/app/$qinghe_exe)" \
  "$(win $build/app/$qinghe_cli)" "$probe" "$desktop" "$quick" "$rounds" $memory
