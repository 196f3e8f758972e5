#!/usr/bin/env bash
# The programs' runtime under Wine: running out of memory ends the program
# with exit code 3 and its message on standard error (a window program shows
# it in a message box), whether new or a string's growth ran out.
# Usage: out_of_memory_test.sh ARCH PREFIX-ROOT PROBE
set -euo pipefail
arch=$1 root=$2 probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" out_of_memory

for way in new string; do
  status=0
  wine "$probe" "$way" >"$prefix/out" 2>"$prefix/err" || status=$?
  check_equal "$way: exit code" 3 "$status"
  message=$(grep -a -c "$(printf '内存不足' | iconv -f UTF-8 -t GBK)" "$prefix/err" || true)
  check_equal "$way: the message on standard error" 1 "$message"
done
check_summary
