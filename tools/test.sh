#!/usr/bin/env bash
# Installs what the builds need, builds the three presets and runs every
# test: the host tests natively, the Windows tests under Wine in private
# prefixes. The 64-bit lane (the 64-bit programs under Wine's 64-bit loader)
# runs on every machine and must run every one of its tests; the 32-bit
# lanes run where the kernel starts 32-bit programs, skipped with the reason
# elsewhere.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-deps.sh

cmake --preset host
cmake --build --preset host
ctest --preset host

# Both Windows builds first: the 64-bit lane compares the two programs.
cmake --preset win64
cmake --build --preset win64
cmake --preset win32
cmake --build --preset win32

ctest --preset win64 -j2 --output-junit lane.xml
bash tools/lane_ran.sh 64-bit build/win64/lane.xml

ctest --preset win32 -j2 --output-junit lane.xml
bash tools/lane_ran.sh 32-bit build/win32/lane.xml --may-skip
