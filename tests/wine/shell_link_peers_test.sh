#!/usr/bin/env bash
# Links checked by more than one reader: what Wine's shell writes, Wine's shell
# and lnkinfo (and the header bytes) read back alike ("written"); real-Windows
# links of the corpus give Wine's shell the targets Windows gives, except where
# Wine is known to differ ("corpus": exits 77, skipped, where the folder is
# absent).
# Usage: shell_link_peers_test.sh ARCH PREFIX-ROOT LNK-PROBE-EXE written
#        shell_link_peers_test.sh ARCH PREFIX-ROOT LNK-PROBE-EXE corpus CORPUS-DIR
#
# Each reader is a function READER FILE that prints normalised UTF-8
# "field: value" lines (fields: target raw_target arguments working_directory
# description icon_path icon_index show_command hotkey); a reader prints only
# the fields it can tell. Another reader joins by adding such a function, its
# entry in reader_fields and its name to the reader lists below.
set -euo pipefail
arch=$1 root=$2 probe=$3 part=$4 testdata=${5:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

case $part in
  written) ;;
  corpus)
    if [ ! -d "$testdata" ]; then
      qinghe_skip "no link corpus at $testdata"
    fi
    ;;
  *) echo "usage: $0 ARCH PREFIX-ROOT LNK-PROBE-EXE written|corpus [CORPUS-DIR]" >&2; exit 2 ;;
esac
# Each part has a prefix of its own: ctest may run the two at once.
qinghe_test_prefix "$root" "$arch" "shell_link_peers_$part"

# Wine sees the Unix root as drive Z:.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# Wine's shell, through IShellLinkA (plus read_shortcut, the program's own result).
probe_read() {
  wine "$probe" read "$(wine_path "$1")" | iconv -f GBK -t UTF-8 | tr -d '\r'
}

# Debian's liblnk. Its 20181227 release prints the show command and hotkey from
# the wrong offsets, so those two are left to header_read.
lnkinfo_read() {
  local -A got=()
  local name value
  while IFS=$'\t' read -r name value; do
    got[$name]=$value
  done < <(lnkinfo -c windows-936 "$1" | sed -n 's/^\t\([^\t:]*\)\t*: \(.*\)$/\1\t\2/p')
  printf 'target: %s\n' "${got[Local path]:-}"
  printf 'arguments: %s\n' "${got[Command line arguments]:-}"
  printf 'working_directory: %s\n' "${got[Working directory]:-}"
  printf 'description: %s\n' "${got[Description]:-}"
  printf 'icon_path: %s\n' "${got[Icon location]:-}"
  printf 'icon_index: %s\n' "${got[Icon index]:-}"
}

# The fixed header itself: icon index (signed, 0x38), show command (0x3C), hotkey (0x40).
header_read() {
  printf 'icon_index: %d\n' "$(od -An -t d4 -j 56 -N 4 "$1" | tr -d ' ')"
  printf 'show_command: %d\n' "$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')"
  printf 'hotkey: 0x%04x\n' "$(od -An -t u2 -j 64 -N 2 "$1" | tr -d ' ')"
}

# The fields each reader tells; one that is missing from its output is a failure.
declare -A reader_fields=(
  [probe_read]="target raw_target arguments working_directory description icon_path icon_index
                show_command hotkey read_shortcut"
  [lnkinfo_read]="target arguments working_directory description icon_path icon_index"
  [header_read]="icon_index show_command hotkey"
)

# The value of the first "FIELD: " line of OUTPUT; fails when there is none.
# Read in the shell itself: "printf | grep -q" under pipefail fails whenever
# grep quits before printf has written its last line.
field_value() {
  local field=$1 line
  while IFS= read -r line; do
    [[ $line == "$field: "* ]] && { printf '%s' "${line#"$field: "}"; return 0; }
  done <<<"$2"
  return 1
}

# Checks every wanted "field: value" against each reader that tells that field.
# A want of the form "field: windows-value|wine-value|note" is a known Wine
# difference of the shell: Windows' value is kept, Wine's is checked.
check_readers() {
  local file=$1 readers=$2; shift 2
  local reader out want field value got
  for reader in $readers; do
    if ! out=$($reader "$file"); then
      check_equal "$reader $(basename "$file") reads" "exit status 0" "a failure"
      continue
    fi
    for want in "$@"; do
      field=${want%%: *} value=${want#*: }
      [[ " ${reader_fields[$reader]} " =~ [[:space:]]$field[[:space:]] ]] || continue
      if ! got=$(field_value "$field" "$out"); then
        check_equal "$reader $(basename "$file") tells $field" "$field: ..." "nothing"
        continue
      fi
      if [[ $value == *'|'*'|'* && $reader == probe_read ]]; then
        IFS='|' read -r windows wine note <<<"$value"
        echo "known Wine difference, $(basename "$file") $field: $note (Windows gives '$windows')"
        value=$wine
      elif [[ $value == *'|'*'|'* ]]; then
        value=${value%%|*}
      fi
      check_equal "$reader $(basename "$file") $field" "$value" "$got"
    done
  done
}

# Links written by Wine's shell with every field set, two sets that differ in
# every field, read back by every reader.
check_written_links() {
  folder="$prefix/drive_c/qinghe/浏览器"
  mkdir -p "$folder"
  echo MZ >"$folder/browser.exe"
  check_true "write link A" wine "$probe" write 'C:\qinghe\a.lnk' 'target=C:\qinghe\浏览器\browser.exe' \
    'arguments=--start http://www.example.com/ 中文' 'working_directory=C:\qinghe\浏览器' \
    'description=青禾 快捷方式修复操作' 'icon_path=C:\windows\system32\shell32.dll' icon_index=13 \
    show_command=3 hotkey=0x0642
  check_readers "$prefix/drive_c/qinghe/a.lnk" "probe_read lnkinfo_read header_read" \
    'target: C:\qinghe\浏览器\browser.exe' 'raw_target: C:\qinghe\浏览器\browser.exe' \
    'arguments: --start http://www.example.com/ 中文' 'working_directory: C:\qinghe\浏览器' \
    'description: 青禾 快捷方式修复操作' 'icon_path: C:\windows\system32\shell32.dll' 'icon_index: 13' \
    'show_command: 3|1|the loader never reads the show command' 'hotkey: 0x0642' \
    'read_shortcut: C:\qinghe\浏览器\browser.exe --start http://www.example.com/ 中文'

  check_true "write link B" wine "$probe" write 'C:\qinghe\b.lnk' 'target=C:\windows\notepad.exe' \
    'arguments=' 'working_directory=C:\windows' 'description=Notepad' 'icon_path=C:\qinghe\b.ico' \
    icon_index=-7 show_command=7 hotkey=0x0170
  check_readers "$prefix/drive_c/qinghe/b.lnk" "probe_read lnkinfo_read header_read" \
    'target: C:\windows\notepad.exe' 'raw_target: C:\windows\notepad.exe' 'arguments: ' \
    'working_directory: C:\windows' 'description: Notepad' 'icon_path: C:\qinghe\b.ico' \
    'icon_index: -7' 'show_command: 7|1|the loader never reads the show command' 'hotkey: 0x0170' \
    'read_shortcut: C:\windows\notepad.exe'

  # The program's own CreateShortcut, read by every reader.
  check_true "create link C" wine "$probe" create 'C:\qinghe\c' 'C:\qinghe\浏览器\browser.exe' \
    '青禾 快捷方式修复操作' 'C:\qinghe'
  check_readers "$prefix/drive_c/qinghe/c.lnk" "probe_read lnkinfo_read header_read" \
    'target: C:\qinghe\浏览器\browser.exe' 'arguments: ' 'working_directory: C:\qinghe' \
    'description: 青禾 快捷方式修复操作' 'icon_path: ' 'icon_index: 0' \
    'show_command: 5|1|the loader never reads the show command' 'hotkey: 0x0000'
}

# Links made on real Windows. Each row: file below the corpus folder, the
# target Windows' GetPath gives in this prefix, the raw target, and, where
# Wine's loader differs, what it gives instead and why. Windows' answers for
# the env-block, UNC-only and ID-list-only links follow the format notes'
# reading order; they are not measured on Windows.
corpus=(
  'strayge-pylnk/tests/examples/local_file.lnk|C:\Windows\explorer.exe|C:\Windows\explorer.exe||'
  'strayge-pylnk/tests/examples/local_disk.lnk|C:\|C:\||'
  'strayge-pylnk/tests/examples/desktop.lnk|C:\Users\heznik\Desktop|C:\Users\heznik\Desktop||'
  'strayge-pylnk/tests/examples/recent1.lnk|C:\Users\heznik\Downloads\2020M09_01_contract.pdf|C:\Users\heznik\Downloads\2020M09_01_contract.pdf||'
  'log2timeline-plaso/test_data/NeroInfoTool.lnk|C:\Program Files (x86)\Nero\Nero 9\Nero InfoTool\InfoTool.exe|C:\Program Files (x86)\Nero\Nero 9\Nero InfoTool\InfoTool.exe||'
  'log2timeline-plaso/test_data/unpaired_surrogate.lnk|C:\test\unicode_U+0000d800_?.exe|C:\test\unicode_U+0000d800_?.exe||'
  'Matmaus-LnkParse3/tests/samples/sample6.lnk|C:\Youdao\ShoppingAssistant\ie\4.4\播放器正在加载（拦截请允许）.exe|C:\Youdao\ShoppingAssistant\ie\4.4\播放器正在加载（拦截请允许）.exe||'
  'VirusTotal-yara-x/lib/src/modules/lnk/tests/testdata/lnk-standard.lnk|C:\test\a.txt|C:\test\a.txt||'
  'strayge-pylnk/tests/examples/uwp_calc.lnk|||||'
  'log2timeline-plaso/test_data/example.lnk|C:\windows\system32\migwiz\migwiz.exe|%windir%\system32\migwiz\migwiz.exe|.\migwiz\migwiz.exe|the target is only in the env block, which Wine skips; it falls back to the relative path'
  'strayge-pylnk/tests/examples/send_to_fax.lnk|C:\windows\system32\WFS.exe|%windir%\system32\WFS.exe||the target is only in the env block, which Wine skips'
  'strayge-pylnk/tests/examples/net_folder1_file1.lnk|\\192.168.138.2\storage\Downloads\folder1\file1.txt|\\192.168.138.2\storage\Downloads\folder1\file1.txt||Wine reads no UNC LinkInfo and skips the env block'
  'strayge-pylnk/tests/examples/mounted_folder1_file1.lnk|Z:\Downloads\folder1\file1.txt|Z:\Downloads\folder1\file1.txt||Wine ignores the ID list and reads no UNC LinkInfo'
)
check_corpus_links() {
  for row in "${corpus[@]}"; do
    IFS='|' read -r file windows raw wine note <<<"$row"
    if [ -n "$note" ]; then
      check_readers "$testdata/$file" probe_read "target: $windows|$wine|$note" \
        "raw_target: $raw|$wine|$note"
    else
      check_readers "$testdata/$file" probe_read "target: $windows" "raw_target: $raw"
    fi
    # The program's result is the shell's target, then a blank and the arguments if any.
    out=$(probe_read "$testdata/$file")
    target=$(field_value target "$out") || true
    arguments=$(field_value arguments "$out") || true
    check_equal "read_shortcut $(basename "$file")" "$target${arguments:+ $arguments}" \
      "$(field_value read_shortcut "$out" || echo "nothing")"
  done
}

"check_${part}_links"
check_summary
