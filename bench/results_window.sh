#!/usr/bin/env bash
# Times opening the check's results window for 1,100 findings against its
# floor, a bare program filling the same list view with the same rows
# (bench/bare_list_fill.cpp), taking turns in one private Wine prefix on a
# private X server. Prints each one's median and the ratio, and the peak
# working set of each.
# Usage: bash bench/results_window.sh [ROUNDS [ROWS [ARCH]]]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh
source bench/bench_lane.sh
rounds=${1:-15} count=${2:-1100} arch=${3:-$default_arch}
source tests/wine/xvfb.sh
cmake --build --preset "$preset" --target results_window_bench bare_list_fill >/dev/null
root=$PWD/$build/wine/$arch
qinghe_wine_create "$root/base" "$arch"
qinghe_wine_clone "$root/base" "$root/bench-results"
qinghe_wine_env "$root/bench-results" "$arch"
trap 'wineserver -k >/dev/null 2>&1 || true; qinghe_stop_xvfb' EXIT
qinghe_start_xvfb
wineserver -p
ours=() floor=()
for round in $(seq "$rounds"); do
  ours+=("$(wine $build/bench/results_window_bench.exe "$count" | tr -d '\r')")
  floor+=("$(wine $build/bench/bare_list_fill.exe "$count" | tr -d '\r')")
done
echo "command: bash bench/results_window.sh $rounds $count $arch"
python3 - "$count" "${ours[@]}" -- "${floor[@]}" <<'PY'
import statistics, sys
count = sys.argv[1]
args = sys.argv[2:]
split = args.index('--')
ours = [tuple(map(float, a.split())) for a in args[:split]]
floor = [tuple(map(float, a.split())) for a in args[split + 1:]]
def median(rows, at): return statistics.median(r[at] for r in rows)
o, f = median(ours, 0), median(floor, 0)
print(f"{'':32} {'median ms':>10} {'peak MiB':>9}")
print(f"{'results window, ' + count + ' findings':32} {o * 1000:10.1f} {median(ours, 1) / 2**20:9.1f}")
print(f"{'bare list view, same rows':32} {f * 1000:10.1f} {median(floor, 1) / 2**20:9.1f}")
print(f"ratio: {o / f:.2f} x (target: at most 1.2 x)")
PY
