#!/usr/bin/env bash
# Builds the shell link codec benchmark optimised and prints how many small
# links per second the portable reader parses and the writer writes, in
# memory, with the command that reproduces the table.
#   bash bench/lnk_codec.sh [SECONDS_PER_CASE]   (default 1)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-1}
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target lnk_codec_bench >/dev/null

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo "Shell link codec, one thread, in memory: $cpu, $(nproc) cores, g++ -O3 (Release)"
echo "Reproduce: bash bench/lnk_codec.sh $seconds"
echo
"$build/bench/lnk_codec_bench" "$seconds"
