#!/usr/bin/env bash
# Prints the size of qinghe.exe and qinghe-cli.exe beside the bare window
# program built the same way, and the DLLs each imports.
# Usage: bash bench/size.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target qinghe qinghe-cli bare_window >/dev/null
echo "command: bash bench/size.sh"
printf '%-18s %10s %8s %8s  %s\n' program bytes KiB "/ bare" imports
bare=$(stat -c %s build/win32/bench/bare_window.exe)
for exe in build/win32/app/qinghe.exe build/win32/app/qinghe-cli.exe build/win32/bench/bare_window.exe; do
  bytes=$(stat -c %s "$exe")
  imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | paste -sd' ')
  awk -v n="$(basename "$exe")" -v b="$bytes" -v r="$bare" -v i="$imports" \
    'BEGIN { printf "%-18s %10d %8.1f %8.2f  %s\n", n, b, b / 1024, b / r, i }'
done
