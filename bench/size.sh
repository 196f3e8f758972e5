#!/usr/bin/env bash
# Prints the size of both builds' programs (qinghe.exe and qinghe-cli.exe,
# qinghe64.exe and qinghe64-cli.exe) beside the bare window program built the
# same way, each against its budget, and the DLLs each imports.
# Usage: bash bench/size.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
echo "command: bash bench/size.sh"
printf '%-20s %10s %8s %8s %8s  %s\n' program bytes KiB "/ bare" "/ budget" imports
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target qinghe qinghe-cli bare_window >/dev/null
  if [ "$preset" = win64 ]; then
    suffix=64 budget=$((448 * 1024)) objdump=x86_64-w64-mingw32-objdump
  else
    suffix= budget=$((384 * 1024)) objdump=i686-w64-mingw32-objdump
  fi
  bare=$(stat -c %s "build/$preset/bench/bare_window.exe")
  for exe in "build/$preset/app/qinghe$suffix.exe" "build/$preset/app/qinghe$suffix-cli.exe" \
             "build/$preset/bench/bare_window.exe"; do
    bytes=$(stat -c %s "$exe")
    imports=$("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | paste -sd' ')
    share=-
    [[ $exe == */app/qinghe$suffix.exe ]] && share=$(awk -v b="$bytes" -v l="$budget" 'BEGIN { printf "%.2f", b / l }')
    name=$(basename "$exe")
    [ "$name" = bare_window.exe ] && name="bare_window ($preset)"
    awk -v n="$name" -v b="$bytes" -v r="$bare" -v s="$share" -v i="$imports" \
      'BEGIN { printf "%-20s %10d %8.1f %8.2f %8s  %s\n", n, b, b / 1024, b / r, s, i }'
  done
done
