#!/usr/bin/env bash
# Builds the Windows program and repairs a hijacked PC: a private Wine prefix
# under build/ seeded with a hijack (start pages, policy key, OEM8 folders),
# then the repair, then its log.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/wine-lib.sh

bash tools/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target qinghe-cli >/dev/null

root=$PWD/build/win32/wine/win64
qinghe_wine_create "$root/base" win64
qinghe_wine_clone "$root/base" "$root/run"
qinghe_wine_env "$root/run" win64
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

qinghe_wine_seed_hijack
echo "Repairing a hijacked PC in the private Wine prefix $root/run:"
wine build/win32/app/qinghe-cli.exe "http://www.example.com/" | iconv -f GBK -t UTF-8
