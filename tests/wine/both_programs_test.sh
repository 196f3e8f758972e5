#!/usr/bin/env bash
# The 32-bit and the 64-bit program on one 64-bit Windows: seeded as the run
# command's PC (tools/hijacked_pc.sh), the same prefix gives the same check
# from both, line for line and id for id; and a bundle made by either is
# undone by the other, leaving every registry value of both views and every
# file as they were before the repair.
# Usage: both_programs_test.sh ARCH PREFIX-ROOT QINGHE64-CLI QINGHE-CLI LNK-PROBE
set -euo pipefail
arch=$1 root=$2 cli64=$3 cli32=$4 lnk_probe=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/../../tools/hijacked_pc.sh"
source "$here/check.sh"
source "$here/prefix_state.sh"

[ "$arch" = win64 ] || { echo "both programs run only on 64-bit Windows: the lane is win64" >&2; exit 2; }
# The 32-bit program needs Wine's 32-bit loader, a 32-bit Linux program.
QINGHE_WINE_PROGRAM_BITS=32 qinghe_wine_require_32bit
[ -f "$cli32" ] || { echo "no 32-bit program at $cli32: build the win32 preset first" >&2; exit 1; }

# Each program through its own loader: the lane's `wine` is the 64-bit one,
# Debian's picks the 32-bit one for a 32-bit program.
run64() { wine "$cli64" "$@"; }
run32() { qinghe_wine32 "$cli32" "$@"; }
as_text() { iconv -f GBK -t UTF-8 | tr -d '\r'; }
address=http://www.example.com/

seeded_prefix() {
  qinghe_test_prefix "$root" "$arch" "$1"
  qinghe_seed_hijacked_pc "$lnk_probe" "$prefix.made"
  wineserver -w
}
user_files() {
  (cd "$prefix/drive_c" && find users ProgramData windows/system32/drivers/etc -type f \
     -not -path '*/AppData/Local/qinghe/*' -not -path '*/修复前桌面图标备份/*' -print0 2>/dev/null |
     LC_ALL=C sort -z | xargs -0 -r sha1sum)
}

# The same check, read-only, from both programs on one seeded prefix.
seeded_prefix both_check
check64=$(run64 check "$address" | as_text || true)
check32=$(run32 check "$address" | as_text || true)
list64=$(run64 check --list "$address" | as_text || true)
list32=$(run32 check --list "$address" | as_text || true)
check_true "the check finds the seeded hijack" grep -q '将' <<<"$check64"
check_same_state "both programs' checks, line for line" "$check32" "$check64"
check_same_state "both programs' findings, id for id" "$list32" "$list64"
check_true "the machine-wide start page in the 32-bit view is found by the 64-bit program" \
  grep -q 'WOW6432Node\\Microsoft\\Internet Explorer\\Main' <<<"$check64"

# A repair by one, undone by the other.
round_trip() {
  local repair_with=$1 undo_with=$2 before_registry before_files repair undo
  seeded_prefix "undo_by_$undo_with"
  before_registry=$(qinghe_whole_registry "$prefix")
  before_files=$(user_files)
  repair=$("run$repair_with" repair "$address" | as_text || true)
  check_true "the $repair_with-bit repair changed something" grep -q '成功' <<<"$repair"
  check_fails "the $repair_with-bit repair left no start page of the hijacker" \
    sh -c "wine reg query 'HKLM\\Software\\Microsoft\\Internet Explorer\\Main' /v 'Start Page' /reg:32 | grep -q hijack"
  undo=$("run$undo_with" undo | as_text || true)
  echo "== the $undo_with-bit undo of the $repair_with-bit repair:"
  echo "$undo"
  check_fails "the $undo_with-bit undo of a $repair_with-bit bundle skipped nothing" \
    grep -E '撤销(跳过|失败)|拒绝' <<<"$undo"
  check_same_state "the $undo_with-bit undo put back the registry the $repair_with-bit repair changed" \
    "$before_registry" "$(qinghe_whole_registry "$prefix")"
  check_same_state "the $undo_with-bit undo put back the files the $repair_with-bit repair changed" \
    "$before_files" "$(user_files)"
  wineserver -k >/dev/null 2>&1 || true
}
round_trip 64 32
round_trip 32 64
check_summary
