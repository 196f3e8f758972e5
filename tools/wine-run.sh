#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix of its own: a fresh
# copy, made for this run, of the ready base prefix of the architecture in
# QINGHE_WINEARCH (win32 or win64). ctest uses it as the cross-compiling
# emulator; QINGHE_WINE_ROOT names the folder that holds the prefixes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-lib.sh"

arch=${QINGHE_WINEARCH:-win32}
root=${QINGHE_WINE_ROOT:?QINGHE_WINE_ROOT names the folder for Wine prefixes}
suite=${QINGHE_WINE_SUITE:-$(basename "$1" .exe)}

qinghe_wine_create "$root/$arch/base" "$arch"
qinghe_wine_clone "$root/$arch/base" "$root/$arch/$suite"
qinghe_wine_env "$root/$arch/$suite" "$arch"

set +e
wine "$@"
status=$?
wineserver -k >/dev/null 2>&1
exit $status
