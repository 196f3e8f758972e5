#!/usr/bin/env bash
# Registry trees that Wine's own reg.exe made go out through the tree read
# and the registry file writer, and come back through `reg import` with every
# value's type and bytes; "Name"=- and [-KEY] entries delete. The file is the
# one Wine's `reg export` writes of the same keys, imported by the 32-bit
# reg.exe where the machine starts 32-bit programs and, in the 64-bit prefix,
# by the 64-bit one (C:\windows\system32\reg.exe, started by the wine64
# loader).
# Values reg.exe cannot make (unterminated strings) come back exactly through
# the program's own restore.
# Usage: reg_import_test.sh ARCH PREFIX-ROOT REG-PROBE
set -euo pipefail
arch=$1 root=$2 probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" reg_import

# The 32-bit reg.exe (Wine's 32-bit loader, where it runs) and, in the
# 64-bit prefix, the 64-bit one (the 64-bit loader).
has_reg32=yes
if [ "$(qinghe_wine_program_bits)" = 64 ]; then
  reg64() { wine reg "$@"; }
  if qinghe_wine_runs_32bit; then
    reg32() { qinghe_wine32 reg "$@"; }
  else
    echo "note: this machine starts no 32-bit programs: only the 64-bit reg.exe imports"
    has_reg32=no
    reg32() { reg64 "$@"; }  # seeds and queries, with /reg:32 where a view is named
  fi
else
  reg32() { wine reg "$@"; }
  if [ "$arch" = win64 ]; then
    wine64_loader=
    for candidate in "$(command -v wine64 || true)" /usr/lib/wine/wine64 /usr/lib64/wine/wine64; do
      if [ -n "$candidate" ] && [ -x "$candidate" ]; then wine64_loader=$candidate; break; fi
    done
    [ -n "$wine64_loader" ] || qinghe_skip "no wine64 loader: cannot start the 64-bit reg.exe"
    reg64() { "$wine64_loader" reg "$@"; }
  fi
fi
probe() { wine "$probe" "$@" | tr -d '\r'; }

program_files() { "$@" query 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir |
  tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
if [ "$arch" = win64 ] && [ "$has_reg32" = yes ]; then
  check_equal "reg32 is the 32-bit reg.exe" "C:\Program Files (x86)" "$(program_files reg32)"
fi
if [ "$arch" = win64 ]; then
  check_equal "reg64 is the 64-bit reg.exe" "C:\Program Files" "$(program_files reg64)"
fi

ie='HKCU\Software\Policies\Microsoft\Internet Explorer'
cu='HKCU\Software\清和测试'
types="$cu\\每种类型"
lm='HKLM\Software\清和测试'
odd='HKCU\Software\清和奇数'
odd_name='quote " back \ equals = 名'

add() { reg32 add "$@" /f >/dev/null; }
add "$ie\\Main" /v "Start Page" /d "http://hijack.example/"
add "$ie\\Main" /v "Default_Page_URL" /d "http://hijack.example/?a=1&b=2"
add "$ie\\Main" /v "Search Page" /t REG_EXPAND_SZ /d "%ProgramFiles%\\search.htm"
add "$ie\\Main" /ve /d "默认主页"
add "$ie\\Control Panel" /v HomePage /t REG_DWORD /d 1
add "$ie\\Control Panel" /v Other /t REG_DWORD /d 0x7fffffff
add "$types" /v "文字" /d 'a "quoted" \ back\slash, 中文'
add "$types" /v "empty" /d ''
add "$types" /v "expand" /t REG_EXPAND_SZ /d '%SystemRoot%\system32'
add "$types" /v "multi" /t REG_MULTI_SZ /d 'one\0二\0three'
add "$types" /v "dword" /t REG_DWORD /d 0x12345678
add "$types" /v "big endian" /t REG_DWORD_BIG_ENDIAN /d 1
add "$types" /v "qword" /t REG_QWORD /d 0x1122334455667788
add "$types" /v "binary" /t REG_BINARY /d "$(printf '%02x' $(seq 0 99))"
add "$types" /v "empty binary" /t REG_BINARY
add "$types" /v "none" /t REG_NONE /d 'abc'
add "$types" /v "$odd_name" /d 'named oddly'
add "$types" /ve /d '默认'
add "$types\\子键\\孙键" /v "v" /d 'deep'
add "$types\\空键"
if [ "$arch" = win64 ]; then
  for view in 32 64; do
    add "$lm" /v "视图" /d "$view" "/reg:$view"
    add "$lm\\子" /v "bytes" /t REG_BINARY /d "${view}${view}" "/reg:$view"
  done
  places=("own:$ie" "own:$cu" "32:$lm" "64:$lm")
else
  add "$lm" /v "视图" /d 32
  add "$lm\\子" /v "bytes" /t REG_BINARY /d 3232
  places=("own:$ie" "own:$cu" "own:$lm")
fi
# What reg.exe cannot make: strings without their terminating zero unit.
probe set "own:$odd" unterminated 1 610062006300
probe set "own:$odd" "odd length" 2 6100620063
probe set "own:$odd" "multi without its end" 7 6100000062000000
probe set "own:$odd" "inner zero" 1 6100000062000000

utf16() { printf %s "$1" | iconv -f UTF-8 -t UTF-16LE | xxd -p | tr -d '\n'; }
gbk() { printf %s "$1" | iconv -f UTF-8 -t GBK; }
dump() { probe dump "${places[@]}"; }
queries() {
  local key
  for key in "$ie" "$cu"; do reg32 query "$key" /s 2>&1 | tr -d '\r'; done
  if [ "$arch" = win64 ]; then
    reg32 query "$lm" /s /reg:32 2>&1 | tr -d '\r'
    reg32 query "$lm" /s /reg:64 2>&1 | tr -d '\r'
  else
    reg32 query "$lm" /s 2>&1 | tr -d '\r'
  fi
}

dump_before=$(dump)
queries_before=$(queries)
odd_before=$(probe dump "own:$odd")
has_line() { grep -aqxF -- "$(gbk "$1")" <<<"$dump_before"; }

# The tree read gives what reg.exe stored.
main_spec="own:$ie|\\Main"
check_true "Start Page read" has_line \
  "$main_spec|Start Page|1|$(utf16 'http://hijack.example/')0000"
check_true "default value read" has_line "$main_spec||1|$(utf16 '默认主页')0000"
check_true "expandable string read" has_line \
  "$main_spec|Search Page|2|$(utf16 '%ProgramFiles%\search.htm')0000"
check_true "dword read" has_line "own:$ie|\\Control Panel|HomePage|4|01000000"
types_spec="own:$cu|\\每种类型"
check_true "multi-string read" has_line \
  "$types_spec|multi|7|$(utf16 one)0000$(utf16 二)0000$(utf16 three)00000000"
check_true "qword read" has_line "$types_spec|qword|11|8877665544332211"
# (Wine's reg add stores a big-endian number in little-endian order.)
check_true "big-endian dword read" grep -aqE -- "\|big endian\|5\|[0-9a-f]{8}$" <<<"$dump_before"
check_true "empty binary read" has_line "$types_spec|empty binary|3|"
check_true "odd name read" has_line "$types_spec|$odd_name|1|$(utf16 'named oddly')0000"
check_true "deep value read" has_line "$types_spec\\子键\\孙键|v|1|$(utf16 deep)0000"
check_true "empty key read" has_line "$types_spec\\空键|key"
if [ "$arch" = win64 ]; then
  check_true "32-bit view read" has_line "32:$lm||视图|1|$(utf16 32)0000"
  check_true "64-bit view read" has_line "64:$lm||视图|1|$(utf16 64)0000"
fi

# The file is the one Wine's reg export writes of each key.
same_export() {
  local what=$1 place=$2 key=$3; shift 3
  rm -f "$prefix/drive_c/theirs.reg" "$prefix/drive_c/ours.reg"
  "$@" export "$key" 'C:\theirs.reg' /y >/dev/null
  probe export 'C:\ours.reg' "$place"
  check_true "$what: the file reg export writes" cmp "$prefix/drive_c/theirs.reg" "$prefix/drive_c/ours.reg"
}
same_export "policies" "own:$ie" "$ie" reg32
same_export "every type" "own:$cu" "$cu" reg32
if [ "$arch" = win64 ]; then
  same_export "32-bit view" "32:$lm" 'HKLM\Software\WOW6432Node\清和测试' reg64
  same_export "64-bit view" "64:$lm" "$lm" reg64
else
  same_export "machine key" "own:$lm" "$lm" reg32
fi

probe export 'C:\saved.reg' "${places[@]}" "own:$odd"
saved="$prefix/drive_c/saved.reg"
check_true "the saved file starts with the BOM and header" \
  grep -aq "Windows Registry Editor Version 5.00" <(iconv -f UTF-16 -t UTF-8 "$saved")
if [ "$arch" = win64 ]; then
  check_true "the 32-bit view's keys are named under WOW6432Node" grep -aqxF \
    '[HKEY_LOCAL_MACHINE\Software\WOW6432Node\清和测试]' <(iconv -f UTF-16 -t UTF-8 "$saved" | tr -d '\r')
fi

delete_all() {
  probe delete "${places[@]}" "own:$odd"
  local place
  for place in "${places[@]}" "own:$odd"; do
    check_equal "$place deleted" "3" "$(probe exists "$place" >/dev/null; echo $?)"
  done
  check_fails "reg query finds no policies" reg32 query "$ie"
}

# reg import: the 32-bit reg.exe, and in the 64-bit prefix the 64-bit one.
importers=()
[ "$has_reg32" = yes ] && importers+=(reg32)
[ "$arch" = win64 ] && importers+=(reg64)
for importer in "${importers[@]}"; do
  delete_all
  check_true "$importer import" "$importer" import 'C:\saved.reg'
  dump_after=$(dump)
  if [ "$importer" = reg32 ] && [ "$arch" = win64 ]; then
    # The 32-bit reg.exe takes a plain HKLM\SOFTWARE name for its own view
    # too: both trees land in the 32-bit view, the 64-bit view stays empty.
    without_machine() { grep -avF -e "$(gbk "${places[2]}|")" -e "$(gbk "${places[3]}|")"; }
    check_equal "$importer: the user's keys are back" "$(without_machine <<<"$dump_before")" \
      "$(without_machine <<<"$dump_after")"
    check_equal "$importer: nothing in the 64-bit view" "${places[3]}|absent" \
      "$(probe dump "${places[3]}" | iconv -f GBK -t UTF-8)"
    check_true "$importer: the 32-bit view holds the 64-bit tree's value, written last" \
      grep -aqxF -- "$(gbk "${places[2]}||视图|1|$(utf16 64)0000")" <<<"$dump_after"
    probe delete "${places[2]}"
    "$importer" import 'C:\saved.reg' /reg:64 >/dev/null 2>&1 || true
    check_equal "$importer import /reg:64: every value is back in its view" "$dump_before" "$(dump)"
  else
    check_equal "$importer: every value is back with its type and bytes" "$dump_before" "$dump_after"
    check_equal "$importer: reg query shows every value again" "$queries_before" "$(queries)"
  fi
  odd_after=$(probe dump "own:$odd")
  if [ "$odd_after" != "$odd_before" ]; then
    echo "note: $importer import does not keep unterminated strings:"
    diff <(echo "$odd_before") <(echo "$odd_after") || true
  fi
done

# Deletions in a file: [-KEY] and "Name"=-.
last=${importers[${#importers[@]}-1]}
wine "$probe" compose 'C:\deletions.reg' \
  delete-key 'HKEY_CURRENT_USER\Software\Policies\Microsoft\Internet Explorer\Main' \
  delete-value 'HKEY_CURRENT_USER\Software\Policies\Microsoft\Internet Explorer\Control Panel' HomePage \
  delete-value 'HKEY_CURRENT_USER\Software\清和测试\每种类型' "$odd_name" \
  delete-value 'HKEY_CURRENT_USER\Software\清和测试\每种类型' '' \
  delete-key 'HKEY_LOCAL_MACHINE\Software\WOW6432Node\清和测试\子'
check_true "$last imports the deletions" "$last" import 'C:\deletions.reg'
dump_deleted=$(dump)
lacks() { ! grep -aqF -- "$(gbk "$1")" <<<"$dump_deleted"; }
has() { grep -aqF -- "$(gbk "$1")" <<<"$dump_deleted"; }
check_true "[-KEY] deleted the key" lacks "own:$ie|\\Main|"
check_fails "reg query finds no Main key" reg32 query "$ie\\Main"
check_true "a deleted value is gone" lacks "own:$ie|\\Control Panel|HomePage|"
check_true "its neighbour stays" has "own:$ie|\\Control Panel|Other|"
check_true "an oddly named value is gone" lacks "$types_spec|$odd_name|"
check_true "the default value is gone" lacks "$types_spec||1|"
check_true "the other values stay" has "$types_spec|文字|"
if [ "$arch" = win64 ]; then
  check_true "the WOW6432Node key went from the 32-bit view" lacks "32:$lm|\\子|"
  check_true "and not from the 64-bit view" has "64:$lm|\\子|bytes|"
else
  # On 32-bit Windows there is no WOW6432Node key to delete.
  check_true "the machine key stays" has "own:$lm|\\子|bytes|"
fi

# The program's own restore brings back everything, unterminated strings too.
delete_all
check_true "restore through the tree operations" probe restore 'C:\saved.reg'
check_equal "restore: every value is back" "$dump_before" "$(dump)"
check_equal "restore: the unterminated strings are back" "$odd_before" "$(probe dump "own:$odd")"

# A file changed by hand is not applied at all.
probe delete "${places[@]}"
tampered="$prefix/drive_c/tampered.reg"
cp "$saved" "$tampered"
printf ' \0' >>"$tampered"
check_fails "a file with a character too many is refused" probe restore 'C:\tampered.reg'
sed 's/d\x00w\x00o\x00r\x00d\x00/D\x00W\x00O\x00R\x00D\x00/' "$saved" >"$tampered"
check_fails "a file with a second spelling of a value is refused" probe restore 'C:\tampered.reg'
check_equal "a refused file changed nothing" "${places[0]}|absent" \
  "$(probe dump "${places[0]}" | iconv -f GBK -t UTF-8)"

check_summary
