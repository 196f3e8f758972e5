#!/usr/bin/env bash
# Desktop and quick-launch trees a hijacker or an unlucky user may leave, under
# Wine against the real file system and shell link object: names the code page
# cannot give, double-byte characters whose second byte is a backslash,
# pattern-like and forbidden characters, device names, paths around 260 bytes,
# hidden, system, read-only and undeletable entries, 10,000 entries in one
# folder and 100 nested folders.
#
# Every link is seeded with a target of its own (C:\Program Files\AppNNNN),
# so a link acted on in place of another shows. After one repair: each link
# is untouched or repaired with its own target, a desktop link repaired only
# with a byte-identical copy in the back-up folder, no other file changed,
# and exactly one line for every link the walk can reach.
# Usage: hostile_tree_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE FS-PROBE LNKDUMP
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4 fs_probe=$5 lnkdump=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

prefix="$root/hostile_tree"
# A run stopped by force leaves its undeletable files undeletable.
[ -d "$prefix" ] && chattr -R -i "$prefix/drive_c/users" 2>/dev/null
qinghe_test_prefix "$root" "$arch" hostile_tree
immutable=()
cleanup() {
  local path
  for path in "${immutable[@]}"; do chattr -i "$path" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
}
qinghe_at_exit cleanup
trap 'exit 1' INT TERM

drive_c="$prefix/drive_c"
user_dir=$(qinghe_wine_user_dir "$prefix")
desktop="$user_dir/Desktop"
quick="$user_dir/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"
backup="$desktop/修复前桌面图标备份"
mkdir -p "$quick"

# The Windows form of a path below drive_c, as a program sees it.
win_path() {
  local relative=${1#"$drive_c"/}
  printf 'C:\\%s' "${relative//\//\\}"
}

# A character of code page 936 whose second byte is 0x5C, in UTF-8.
gbk() { printf "$1" | iconv -f GBK -t UTF-8; }
c815c=$(gbk '\x81\x5c') c905c=$(gbk '\x90\x5c') c955c=$(gbk '\x95\x5c') ce05c=$(gbk '\xe0\x5c')

# The planted links: Unix path, what must become of it (repaired, kept: left
# as it was with a "修复失败：" line, unseen: left as it was, no line, since
# the walk cannot reach it) and the name its line carries.
paths=() expect=() log_name=()
plant() {
  paths+=("$1")
  expect+=("$2")
  log_name+=("${3:-$(basename "$1")}")
}

# Names the code page cannot give: the system puts '?' in their place, and a
# name with '?' is a pattern that could match another file (A.lnk beside Ä.lnk).
plant "$desktop/한국어.lnk" kept "???.lnk"
plant "$desktop/😀.lnk" kept "?.lnk"
plant "$desktop/Ä.lnk" kept "?.lnk"
plant "$desktop/A.lnk" repaired
plant "$desktop/폴더/inner-korean.lnk" unseen   # its folder cannot be searched
plant "$quick/한국어-quick.lnk" kept "???-quick.lnk"
# Second byte 0x5C: never taken for a separator.
plant "$desktop/$c955c.lnk" repaired
plant "$desktop/$c815c$c905c/inner-5c.lnk" repaired
plant "$desktop/$ce05c/$c955c$c955c.lnk" repaired
# A name ending in "lnk" without the dot is opened as name + ".lnk", another
# file: left alone rather than given that file's target.
plant "$desktop/x${c905c}lnk" kept
plant "$desktop/ylnk" kept
plant "$desktop/ylnk.lnk" repaired
plant "$quick/$c815c-quick.lnk" repaired
plant "$desktop/$(gbk '\x81\x7c').lnk" repaired   # second byte 0x7C, no bar
plant "$quick/${c955c}sub/$ce05c-quick.lnk" repaired
# Characters that mean something to patterns and shells, legal in names.
for name in '[a].lnk' 'a;b,c.lnk' 'a+b=c.lnk' "it's.lnk" '%TEMP%.lnk' '~$x.lnk' '^caret&amp.lnk' \
            '(1).lnk' 'a (2).lnk' 'a.lnk' ' lead.lnk' 'dots..lnk' '.dot.lnk' 'ABCDEF~1.lnk'; do
  plant "$desktop/$name" repaired
done
plant "$desktop/sub/a.lnk" repaired   # its copy needs a name of its own
plant "$quick/[q]&(1).lnk" repaired
# Names Windows refuses, made from the Unix side; Wine lists them as they are.
plant "$desktop/c?d.lnk" kept
plant "$desktop/cxd.lnk" repaired
plant "$desktop/a*b.lnk" kept
plant "$desktop/axxb.lnk" repaired
plant "$desktop/e<f.lnk" kept
plant "$desktop/e\"f.lnk" kept
plant "$desktop/g|h.lnk" kept
plant "$desktop/i:j.lnk" kept
plant "$desktop/tab	x.lnk" kept
# A backslash in a name would name another file, or leave the tree.
plant "$desktop/k\\l.lnk" kept "k?l.lnk"
plant "$desktop/k/l.lnk" repaired
plant "$user_dir/outside/escape.lnk" unseen
mkdir -p "$desktop/..\\outside"
# Device names: opening one opens the device, not a file.
for name in CON.lnk nul.lnk aux.lnk com1.lnk LPT1.lnk prn.lnk; do plant "$desktop/$name" kept; done
# Hidden, system, read-only and undeletable entries and folders.
for name in hidden.lnk system.lnk hidden-system.lnk readonly.lnk immutable.lnk \
            hidden-folder/in-hidden.lnk system-folder/in-system.lnk \
            readonly-folder/in-readonly.lnk locked-folder/in-locked.lnk; do
  case $name in readonly.lnk | immutable.lnk | locked-folder/*) outcome=kept ;; *) outcome=repaired ;; esac
  plant "$desktop/$name" "$outcome"
done
plant "$quick/hidden-quick.lnk" repaired
# Paths around MAX_PATH: a link whose path fits is repaired (the file saved
# beside it has a short name of its own); a folder path over it cannot be
# searched at all.
desktop_win=$(win_path "$desktop")
long_folder=$desktop/$(printf 'L%.0s' $(seq $((219 - ${#desktop_win}))))
for length in 236 250 259 260 280; do
  outcome=kept
  [ "$length" -le 259 ] && outcome=repaired
  name_length=$((length - ${#desktop_win} - 1 - (${#long_folder} - ${#desktop})))
  plant "$long_folder/$(printf 'n%.0s' $(seq $((name_length - 4)))).lnk" "$outcome"
done
plant "$long_folder/$(printf 'F%.0s' $(seq 45))/beyond.lnk" unseen
# 10,000 entries in one folder, and 100 nested folders.
for ((i = 1; i <= 100; i++)); do plant "$desktop/many/m$(printf %03d $i).lnk" repaired; done
deep=$desktop/deep
for ((level = 1; level <= 100; level++)); do deep+=/d; done
plant "$deep/deep.lnk" repaired

# Seed the links, then give each its name from the Unix side.
seed="$drive_c/seed"
mkdir -p "$seed"
wine "$lnk_probe" seed 'C:\seed' "${#paths[@]}"
declare -A target_of
for i in "${!paths[@]}"; do
  number=$(printf %04d $((i + 1)))
  mkdir -p "$(dirname "${paths[$i]}")"
  mv "$seed/link$number.lnk" "${paths[$i]}"
  target_of[${paths[$i]}]="C:\\Program Files\\App$number\\app.exe"
done
rmdir "$seed"
for ((i = 1; i <= 9900; i++)); do : >"$desktop/many/f$i.txt"; done
echo "not a link" >"$desktop/b.txt"
echo "not a link either" >"$desktop/Work.LNK"

set_attributes() { wine "$fs_probe" set "$(win_path "$1")" "${@:2}" >/dev/null; }
set_attributes "$desktop/hidden.lnk" +h
set_attributes "$desktop/system.lnk" +s
set_attributes "$desktop/hidden-system.lnk" +h +s
set_attributes "$desktop/readonly.lnk" +r
set_attributes "$desktop/hidden-folder" +h
set_attributes "$desktop/system-folder" +s
set_attributes "$desktop/readonly-folder" +r
set_attributes "$quick/hidden-quick.lnk" +h
chattr +i "$desktop/immutable.lnk" && immutable+=("$desktop/immutable.lnk")
chattr +i "$desktop/locked-folder" && immutable+=("$desktop/locked-folder")

# What Wine shows of the awkward names (for the record in the test log).
wine "$fs_probe" list "$desktop_win\\*" | iconv -f GBK -t UTF-8 | tr -d '\r' | sed 's/^/desktop entry: /'

# Every file below the two trees, with its hash.
snapshot() {
  (cd "$user_dir" && find Desktop AppData/Roaming/Microsoft/"Internet Explorer" outside \
     -path "Desktop/修复前桌面图标备份" -prune -o -type f -print0 | sort -z | xargs -0 sha1sum)
}
before=$(snapshot)
declare -A original_sha
for path in "${paths[@]}"; do original_sha[$path]=$(sha1sum <"$path" | cut -d' ' -f1); done

log=$(wine "$cli" "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
shortcut_lines=$(grep -E '^修复(失败)?：' <<<"$log" || true)

# The value of one "field: value" line of an lnkdump listing.
field() { sed -n "s/^$1: //p" <<<"$2"; }

declare -A copies
while read -r sha _; do copies[$sha]=1; done < <(find "$backup" -type f -exec sha1sum {} + 2>/dev/null || true)
changed=() want_lines=()
for i in "${!paths[@]}"; do
  path=${paths[$i]} what=${paths[$i]#"$user_dir"/}
  what=${what:0:100}
  now=$(sha1sum <"$path" 2>/dev/null | cut -d' ' -f1 || true)
  case ${expect[$i]} in
    repaired)
      want_lines+=("修复：${log_name[$i]}")
      changed+=("${path#"$user_dir"/}")
      dump=$("$lnkdump" "$path" 2>&1 || true)
      check_equal "$what: target" "${target_of[$path]}" "$(field target "$dump")"
      check_equal "$what: arguments" "" "$(field arguments "$dump")"
      check_equal "$what: description" "青禾 快捷方式修复操作" "$(field description "$dump")"
      if [[ $path == "$desktop"/* ]]; then
        check_true "$what: byte-identical copy in the back-up folder" \
          test -n "${copies[${original_sha[$path]}]:-}"
      fi
      ;;
    kept)
      want_lines+=("修复失败：${log_name[$i]}")
      check_equal "$what: left as it was" "${original_sha[$path]}" "$now"
      ;;
    unseen)
      check_equal "$what: left as it was" "${original_sha[$path]}" "$now"
      ;;
  esac
done
# One line for every shortcut the walk reaches, saying what became of it.
check_equal "the shortcut lines, in any order" "$(printf '%s\n' "${want_lines[@]}" | sort)" \
  "$(sort <<<"$shortcut_lines")"

# Nothing but the repaired links changed, and nothing new outside the back-up folder.
declare -A was_repaired
for path in "${changed[@]}"; do was_repaired[$path]=1; done
others() {
  local line
  while IFS= read -r line; do [ -n "${was_repaired[${line:42}]:-}" ] || printf '%s\n' "$line"; done <<<"$1"
}
after=$(snapshot)
check_equal "every other file as it was" "$(others "$before")" "$(others "$after")"
check_equal "no file saved beside a link is left" "" "$(find "$desktop" "$quick" -name '~qinghe-*')"
# Every copy is the original bytes of a desktop link.
declare -A desktop_sha
for path in "${paths[@]}"; do [[ $path == "$desktop"/* ]] && desktop_sha[${original_sha[$path]}]=1; done
foreign=0
for sha in "${!copies[@]}"; do [ -n "${desktop_sha[$sha]:-}" ] || foreign=$((foreign + 1)); done
check_equal "copies that are not a desktop link's original" 0 "$foreign"

# Hidden and system links keep those attributes once repaired.
for name in hidden.lnk:00000022 system.lnk:00000024 hidden-system.lnk:00000026; do
  check_equal "attributes of ${name%%:*}" "${name#*:}" \
    "$(wine "$fs_probe" attributes "$desktop_win\\${name%%:*}" | tr -d '\r')"
done

check_summary
