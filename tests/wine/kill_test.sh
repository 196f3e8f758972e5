#!/usr/bin/env bash
# Kills a repair of desktop shortcuts at moments spread over its run, under
# Wine. After every kill no shortcut is missing or truncated: each is exactly
# as it was or correctly repaired with its original bytes in the back-up
# folder, and at most one temporary file is left. A repair run afterwards
# completes the work. Then the same for the undo of a repair: killed again
# and again, each shortcut stays the repaired one or its original, byte for
# byte, and a last undo gives every original back.
# Usage: kill_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE LNKDUMP [LINKS [KILLS]]
set -euo pipefail
arch=$1 root=$2 cli=$3 probe=$4 lnkdump=$5 links=${6:-200} kills=${7:-5}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" kill

user_dir=$(qinghe_wine_user_dir "$prefix")
desktop="$user_dir/Desktop"
backup="$desktop/修复前桌面图标备份"
original="$prefix.original"

wine "$probe" seed "C:\\users\\$(basename "$user_dir")\\Desktop" "$links"
rm -rf "$original"
cp -a "$desktop" "$original"
declare -A target_of original_sha
for link in "$original"/*.lnk; do
  target_of[$(basename "$link")]=$("$lnkdump" "$link" | sed -n 's/^target: //p')
done
while read -r sha path; do original_sha[$(basename "$path")]=$sha; done < <(sha1sum "$original"/*.lnk)

# The value of one "field: value" line of an lnkdump listing.
field() {
  local line
  while IFS= read -r line; do
    [[ $line == "$1: "* ]] && { printf '%s' "${line#"$1: "}"; return; }
  done <<<"$2"
}

# Every seeded link is there, whole, and either untouched or repaired with a
# copy of its original in the back-up folder. Sets untouched_count.
check_nothing_lost() {
  local what=$1 name dump untouched=0 lost=0 sha path
  local -A now_sha=() copies=()
  while read -r sha path; do now_sha[$(basename "$path")]=$sha; done \
    < <(sha1sum "$desktop"/*.lnk 2>/dev/null || true)
  while read -r sha path; do copies[$sha]=1; done \
    < <(find "$backup" -type f -exec sha1sum {} + 2>/dev/null || true)
  for name in "${!original_sha[@]}"; do
    if [ -z "${now_sha[$name]:-}" ]; then
      lost=$((lost + 1)); echo "$what: $name is missing"; continue
    fi
    if [ "${now_sha[$name]}" = "${original_sha[$name]}" ]; then
      untouched=$((untouched + 1)); continue
    fi
    if ! dump=$("$lnkdump" "$desktop/$name" 2>&1); then
      lost=$((lost + 1)); echo "$what: $name is no longer a link: $dump"; continue
    fi
    if [ "$(field target "$dump")" != "${target_of[$name]}" ] || [ -n "$(field arguments "$dump")" ] ||
       [ "$(field description "$dump")" != "青禾 快捷方式修复操作" ]; then
      lost=$((lost + 1)); echo "$what: $name is neither original nor repaired:"; echo "$dump"
      continue
    fi
    if [ -z "${copies[${original_sha[$name]}]:-}" ]; then
      lost=$((lost + 1)); echo "$what: $name was repaired without a copy of its original"
    fi
  done
  check_equal "$what: shortcuts lost or damaged" 0 "$lost"
  local temporaries
  temporaries=$(find "$desktop" -name '~qinghe-*' | wc -l)
  check_true "$what: at most one temporary file ($temporaries)" test "$temporaries" -le 1
  untouched_count=$untouched
}

reset_desktop() {
  rm -rf "$desktop"
  cp -a "$original" "$desktop"
}

repair() { wine "$cli" "http://www.example.com/" >/dev/null || true; }

# A whole run first, to learn how long one takes.
reset_desktop
started=$(date +%s%N)
repair
run_ns=$(( $(date +%s%N) - started ))
check_nothing_lost "uninterrupted run"
check_equal "uninterrupted run leaves nothing unrepaired" 0 "$untouched_count"
echo "one repair of $links shortcuts takes $((run_ns / 1000000)) ms"

for ((kill = 1; kill <= kills; kill++)); do
  reset_desktop
  delay_ns=$(( run_ns * kill / (kills + 1) ))
  wine "$cli" "http://www.example.com/" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%09d' $((delay_ns / 1000000000)) $((delay_ns % 1000000000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  check_nothing_lost "killed after $((delay_ns / 1000000)) ms"
  echo "killed after $((delay_ns / 1000000)) ms: $((links - untouched_count)) of $links repaired"
  repair
  check_nothing_lost "run after kill $kill"
  check_equal "run after kill $kill leaves nothing unrepaired" 0 "$untouched_count"
  check_equal "run after kill $kill leaves no temporary file" 0 \
    "$(find "$desktop" -name '~qinghe-*' | wc -l)"
done

# The undo of one whole repair, killed at moments spread over its run: one
# undo timed whole first, then the repair again for the undos to be killed.
reset_desktop
rm -rf "$user_dir/AppData/Local/qinghe"
repair
started=$(date +%s%N)
wine "$cli" undo >/dev/null || true
undo_ns=$(( $(date +%s%N) - started ))
echo "one undo of $links shortcuts takes $((undo_ns / 1000000)) ms"
repair
declare -A repaired_sha
while read -r sha path; do repaired_sha[$(basename "$path")]=$sha; done < <(sha1sum "$desktop"/*.lnk)
check_undo_state() {
  local what=$1 name sha path wrong=0 back=0
  local -A now_sha=()
  while read -r sha path; do now_sha[$(basename "$path")]=$sha; done \
    < <(sha1sum "$desktop"/*.lnk 2>/dev/null || true)
  for name in "${!original_sha[@]}"; do
    case ${now_sha[$name]:-missing} in
      "${original_sha[$name]}") back=$((back + 1)) ;;
      "${repaired_sha[$name]}") ;;
      *) wrong=$((wrong + 1)); echo "$what: $name is neither the repaired link nor its original" ;;
    esac
  done
  echo "$what: $back of $links back"

  check_equal "$what: shortcuts lost or damaged" 0 "$wrong"
  check_true "$what: at most one temporary file" \
    test "$(find "$desktop" -name '~qinghe-*' | wc -l)" -le 1
}
for ((kill = 1; kill <= kills; kill++)); do
  delay_ns=$(( undo_ns * kill / (kills + 1) ))
  wine "$cli" undo >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%09d' $((delay_ns / 1000000000)) $((delay_ns % 1000000000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  check_undo_state "undo killed after $((delay_ns / 1000000)) ms"
done
wine "$cli" undo >/dev/null || true
check_equal "the undo after the kills gave every original back" \
  "$(cd "$original" && sha1sum ./*.lnk)" "$(cd "$desktop" && sha1sum ./*.lnk)"
check_equal "and left no temporary file" 0 "$(find "$desktop" -name '~qinghe-*' | wc -l)"

check_summary
