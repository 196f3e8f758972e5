#!/usr/bin/env bash
# Installs what the builds need, builds both presets and runs every test:
# the host tests natively, the Windows tests under Wine in private prefixes.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-deps.sh

cmake --preset host
cmake --build --preset host
ctest --preset host

cmake --preset win32
cmake --build --preset win32
ctest --preset win32 -j2
