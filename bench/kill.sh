#!/usr/bin/env bash
# Kills a repair of 1,000 desktop shortcuts 20 times under Wine and checks
# after every kill that nothing was lost (the test suite does 200 and 5).
# Prints how far each killed run had got. Needs both presets built.
# Usage: bash bench/kill.sh [LINKS [KILLS [ARCH]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
links=${1:-1000} kills=${2:-20} arch=${3:-win64}
qinghe_wine_create "$PWD/$build/wine/$arch/base" "$arch"
echo "command: bash bench/kill.sh $links $kills $arch"
bash tests/wine/kill_test.sh "$arch" "$PWD/$build/wine/$arch" $build/app/$qinghe_cli \
  $build/tests/lnk_probe.exe build/host/tools/lnkdump/lnkdump "$links" "$kills"
