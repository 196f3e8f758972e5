#!/usr/bin/env bash
# The window program stays within its budget and needs nothing but Windows'
# own DLLs (docs/performance.md, Size: the budgets and what is in them):
# qinghe.exe at most 384 KiB, qinghe64.exe at most 448 KiB, with every
# finder there is.
# Usage: program_size_test.sh QINGHE-EXE LIMIT-BYTES OBJDUMP
set -euo pipefail
exe=$1 limit=$2 objdump=$3 failed=0
bytes=$(stat -c %s "$exe")
if [ "$bytes" -gt "$limit" ]; then
  echo "$exe is $bytes bytes, more than $limit (bench/size.sh shows what grew)" >&2
  failed=1
fi
allowed=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msimg32.dll msvcrt.dll ole32.dll shell32.dll user32.dll "
while read -r dll; do
  case "$allowed" in
    *" $dll "*) ;;
    *) echo "$exe imports $dll, which is not a system DLL it may use" >&2; failed=1 ;;
  esac
done < <("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z')
# Listed first, then searched: "objdump | grep -q" fails under pipefail when
# grep quits before objdump has written everything.
sections=$("$objdump" -h "$exe")
if [[ $sections == *.debug* ]]; then
  echo "$exe carries debugging sections: it is not stripped" >&2
  failed=1
fi
exit $failed
