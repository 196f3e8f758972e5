#!/usr/bin/env bash
# A full disk under Wine, with volumes this test mounts and removes itself:
# - the user folders on a small ext4 volume with 1 KiB blocks: a pinned
#   taskbar link of about 2 KB with 1 KiB left free, then 100 desktop links
#   with a little room: every link is exactly as it was or correctly
#   repaired (with its original in the back-up folder), and its line says
#   which; no temporary file is left;
# - a desktop on a 1 MiB tmpfs filled to the last byte: the run ends at once,
#   the link is left as it was and reported, and no empty copy is left in
#   the back-up folder.
# Where the machine cannot mount, the test says so and is skipped (77).
# Usage: full_disk_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE LNKDUMP
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4 lnkdump=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

prefix="$root/full_disk"
image="$prefix.users.img"
mounts=()
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  local at
  for at in "${mounts[@]}"; do umount "$at" 2>/dev/null || umount -l "$at" 2>/dev/null || true; done
  rm -f "$image"
}
qinghe_at_exit cleanup
trap 'exit 1' INT TERM
# A run stopped by force may have left its volumes mounted.
for at in "$prefix/drive_c/users/"*/Desktop "$prefix/drive_c/users"; do
  mountpoint -q "$at" 2>/dev/null && umount -l "$at"
done
qinghe_wine_clone "$root/base" "$prefix"
qinghe_wine_env "$prefix" "$arch"

users="$prefix/drive_c/users"
user=$(basename "$(qinghe_wine_user_dir "$prefix")")
win_user="C:\\users\\$user"

# The user folders onto a volume of their own.
truncate -s 6M "$image"
mkfs.ext4 -q -F -b 1024 -m 0 "$image"
staging=$(mktemp -d)
if ! mount -o loop "$image" "$staging" 2>/dev/null; then
  rmdir "$staging"
  qinghe_skip "this machine cannot mount a loop device (mount -o loop needs root and /dev/loop*)"
fi
cp -a "$users/." "$staging/"
umount "$staging"
rmdir "$staging"
mount -o loop "$image" "$users"
mounts+=("$users")

user_dir="$users/$user"
desktop="$user_dir/Desktop"
quick="$user_dir/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"
pinned="$quick/User Pinned/TaskBar"
mkdir -p "$pinned"

# Takes all free space but `room` KiB (at most 64): files of one byte, one
# block each, are made first and the filler takes the rest; then small files
# are removed or added until the volume reports exactly `room` KiB free (the
# file system's own bookkeeping moves a block now and then).
fill() {
  local room=$1 i free next=64
  rm -f "$users"/filler*
  for ((i = 0; i < 64; i++)); do printf x >"$users/filler.$i"; done
  dd if=/dev/zero of="$users/filler" bs=1k status=none 2>/dev/null || true
  i=0
  for ((round = 0; round < 200; round++)); do
    sync
    free=$(df -k --output=avail "$users" | tail -1 | tr -d ' ')
    if [ "$free" -lt "$room" ] && [ "$i" -lt "$next" ]; then
      rm -f "$users/filler.$i"; i=$((i + 1))
    elif [ "$free" -gt "$room" ]; then
      printf x 2>/dev/null >"$users/filler.$next" || true; next=$((next + 1))
    else
      break
    fi
  done
  echo "free on the volume: $free KiB"
}
sha() { sha1sum <"$1" | cut -d' ' -f1; }
field() { sed -n "s/^$1: //p" <<<"$2"; }
# Exits 1 when a link could not be repaired, as on a full disk it cannot.
repair() { wine "$cli" "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r' || true; }

# A link of about 2 KB: long target, working folder and icon path.
long=$(printf 'Long Folder Name %.0s' $(seq 13))
wine "$lnk_probe" write "$win_user\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\App.lnk" \
  "target=C:\\Program Files\\$long\\app.exe" "working_directory=C:\\Program Files\\$long" \
  "icon_path=C:\\Program Files\\$long\\app.ico" 'arguments=http://hijack.example/' >/dev/null
echo "App.lnk: $(stat -c %s "$pinned/App.lnk") bytes"
app_sha=$(sha "$pinned/App.lnk")

fill 1
log=$(repair)
echo "$log"
check_true "App.lnk reported as not repaired" grep -qxF "修复失败：App.lnk" <<<"$log"
check_fails "App.lnk not reported as repaired" grep -qxF "修复：App.lnk" <<<"$log"
check_equal "App.lnk exactly as it was" "$app_sha" "$(sha "$pinned/App.lnk")"
check_equal "no temporary file left" "" "$(find "$user_dir" -name '~qinghe-*')"

# 100 desktop links with some room: whatever fits is repaired, the rest kept.
rm -f "$users"/filler*
wine "$lnk_probe" seed "$win_user\\Desktop" 100 >/dev/null
declare -A original_sha target_of
for ((i = 1; i <= 100; i++)); do
  name=link$(printf %04d $i).lnk
  original_sha[$name]=$(sha "$desktop/$name")
  target_of[$name]="C:\\Program Files\\App$(printf %04d $i)\\app.exe"
done
fill 24
log=$(repair)
declare -A copies
while read -r copy _; do copies[$copy]=1; done < <(find "$desktop/修复前桌面图标备份" -type f -exec sha1sum {} + 2>/dev/null)
lost=0 repaired=0 kept=0 wrong_lines=0
for ((i = 1; i <= 100; i++)); do
  name=link$(printf %04d $i).lnk
  if [ "$(sha "$desktop/$name")" = "${original_sha[$name]}" ]; then
    kept=$((kept + 1))
    grep -qxF "修复失败：$name" <<<"$log" || wrong_lines=$((wrong_lines + 1))
    continue
  fi
  dump=$("$lnkdump" "$desktop/$name" 2>&1 || true)
  if [ "$(field target "$dump")" != "${target_of[$name]}" ] || [ -n "$(field arguments "$dump")" ] ||
     [ -z "${copies[${original_sha[$name]}]:-}" ]; then
    lost=$((lost + 1))
    echo "$name is neither as it was nor repaired with a copy:"; echo "$dump"
    continue
  fi
  repaired=$((repaired + 1))
  grep -qxF "修复：$name" <<<"$log" || wrong_lines=$((wrong_lines + 1))
done
echo "100 links on a nearly full volume: $repaired repaired, $kept left as they were"
check_equal "links lost or damaged" 0 "$lost"
check_equal "links whose line does not say what became of them" 0 "$wrong_lines"
check_true "the disk ran full on the way ($kept kept)" test "$kept" -gt 0
check_equal "App.lnk still exactly as it was, or repaired" "ok" \
  "$([ "$(sha "$pinned/App.lnk")" = "$app_sha" ] || [ -z "$(field arguments "$("$lnkdump" "$pinned/App.lnk")")" ] && echo ok)"
check_equal "no temporary file left" "" "$(find "$user_dir" -name '~qinghe-*')"
check_equal "no empty file in the back-up folder" "" \
  "$(find "$desktop/修复前桌面图标备份" -type f -empty)"
rm -f "$users"/filler*

# A desktop on a 1 MiB tmpfs, full to the last byte.
wineserver -k >/dev/null 2>&1 || true
rm -rf "$desktop"
mkdir -p "$desktop"
mount -t tmpfs -o size=1m tmpfs "$desktop"
mounts=("$desktop" "${mounts[@]}")
wine "$lnk_probe" seed "$win_user\\Desktop" 1 >/dev/null
link_sha=$(sha "$desktop/link0001.lnk")
mkdir "$desktop/修复前桌面图标备份"
dd if=/dev/zero of="$desktop/filler" bs=4k status=none 2>/dev/null || true
dd if=/dev/zero of="$desktop/filler2" bs=1 status=none 2>/dev/null || true
echo "free on the desktop: $(df -k --output=avail "$desktop" | tail -1 | tr -d ' ') KiB"
started=$(date +%s)
log=$(timeout 300 bash -c "$(declare -f repair); cli='$cli'; repair" || echo "timed out")
echo "the repair on a full desktop took $(( $(date +%s) - started )) s"
check_fails "the repair ended" grep -qxF "timed out" <<<"$log"
check_true "the link reported as not repaired" grep -qxF "修复失败：link0001.lnk" <<<"$log"
check_equal "the link exactly as it was" "$link_sha" "$(sha "$desktop/link0001.lnk")"
check_equal "nothing left in the back-up folder" "" "$(ls -A "$desktop/修复前桌面图标备份")"

check_summary
