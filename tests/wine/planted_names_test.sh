#!/usr/bin/env bash
# Names a hijacker controls, under Wine against the real file system and link
# object:
# - a hard link and a symbolic link to documents planted at the names a
#   replacement used to be saved under, and a hard link planted at a name of
#   the form replacements have now: no document is written, moved or removed;
# - a link whose target is only in its ID list: left alone, not rewritten
#   pointing at nothing;
# - fields outside code page 936 (Korean, Spanish, Arabic, an emoji): carried
#   exactly, or the link is left alone and reported;
# - a name the code page lacks a character of beside its look-alike
#   (Câmera.lnk and Camera.lnk, x².lnk): each acted on under its own name only;
# - folders whose names end in a dot, one of them the back-up folder's name:
#   never walked, so no file is reached through the folder they alias.
# Usage: planted_names_test.sh ARCH PREFIX-ROOT QINGHE-CLI LNK-PROBE LNKDUMP
set -euo pipefail
arch=$1 root=$2 cli=$3 lnk_probe=$4 lnkdump=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" planted_names

drive_c="$prefix/drive_c"
user_dir=$(qinghe_wine_user_dir "$prefix")
user=$(basename "$user_dir")
desktop="$user_dir/Desktop"
documents="$user_dir/Documents"
quick="$user_dir/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch"
backup="$desktop/修复前桌面图标备份"
win_desktop="C:\\users\\$user\\Desktop"
win_quick="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"
mkdir -p "$documents" "$quick"

hijack() { wine "$lnk_probe" write "$1" 'target=C:\windows\notepad.exe' \
  'arguments=http://hijack.example/' 'working_directory=C:\windows' >/dev/null; }
sha() { sha1sum <"$1" | cut -d' ' -f1; }
field() { sed -n "s/^$1: //p" <<<"$2" | tr -d '\r'; }

# 1. Documents behind names planted beside the links.
echo "the user's accounts" >"$documents/accounts.txt"
echo "the user's thesis" >"$documents/thesis.txt"
echo "the user's letter" >"$documents/letter.txt"
hijack "$win_desktop\\Mail.lnk"
hijack "$win_desktop\\Browser.lnk"
ln "$documents/accounts.txt" "$desktop/Mail.lnk.qinghe-new"
ln -s "$documents/thesis.txt" "$desktop/Browser.lnk.qinghe-new"
ln "$documents/letter.txt" "$desktop/~qinghe-0123456789abcdef.tmp"
documents_before=$(cd "$documents" && sha1sum accounts.txt thesis.txt letter.txt)

# 4. A link whose target only its ID list names.
wine "$lnk_probe" write "$win_desktop\\IdList.lnk" 'target=C:\windows\notepad.exe' \
  'arguments=http://hijack.example/' >/dev/null
wine "$lnk_probe" drop-linkinfo "$win_desktop\\IdList.lnk"
cp "$desktop/IdList.lnk" "$quick/IdList.lnk"
id_list_sha=$(sha "$desktop/IdList.lnk")

# 5. Fields outside code page 936, written through the UTF-16 interface.
scripts=(한국어 Peña عربي 😀)
for i in "${!scripts[@]}"; do
  mkdir -p "$drive_c/Programs/${scripts[$i]}"
  : >"$drive_c/Programs/${scripts[$i]}/app.exe"
  wine "$lnk_probe" writew "$win_desktop\\script$i.lnk" \
    "target=C:\\Programs\\${scripts[$i]}\\app.exe" "working_directory=C:\\Programs\\${scripts[$i]}" \
    'arguments=http://hijack.example/'
done
# Only the working folder outside the code page; the target inside it.
wine "$lnk_probe" writew "$win_quick\\folder.lnk" 'target=C:\windows\notepad.exe' \
  'working_directory=C:\Programs\한국어' 'arguments=http://hijack.example/'

# 7. Look-alikes: the ANSI calls give "Camera.lnk" for Câmera.lnk, "x2.lnk" for x².lnk.
hijack "$win_desktop\\Camera.lnk"
hijack "$win_desktop\\Camera2.lnk"
mv "$desktop/Camera2.lnk" "$desktop/Câmera.lnk"
hijack "$win_desktop\\x2.lnk"
hijack "$win_desktop\\x2b.lnk"
mv "$desktop/x2b.lnk" "$desktop/x².lnk"

# 8. Folders ending in a dot: "sub." is "sub", "修复前桌面图标备份." the back-up folder.
mkdir -p "$desktop/sub" "$desktop/sub." "$desktop/修复前桌面图标备份." "$quick/pinned."
hijack "$win_desktop\\sub\\a.lnk"
hijack "$win_desktop\\sub\\b.lnk"
mv "$desktop/sub/b.lnk" "$desktop/sub./a.lnk"
hijack "$win_desktop\\sub\\c.lnk"
mv "$desktop/sub/c.lnk" "$desktop/修复前桌面图标备份./copy.lnk"
hijack "$win_quick\\q.lnk"
mv "$quick/q.lnk" "$quick/pinned./q.lnk"
declare -A untouched
for path in "$desktop/Câmera.lnk" "$desktop/x².lnk" "$desktop/sub./a.lnk" \
            "$desktop/修复前桌面图标备份./copy.lnk" "$quick/pinned./q.lnk"; do
  untouched[$path]=$(sha "$path")
done
script_sha=()
for i in "${!scripts[@]}"; do script_sha+=("$(sha "$desktop/script$i.lnk")"); done

set +e
log=$(wine "$cli" "http://www.example.com/" | iconv -f GBK -t UTF-8 | tr -d '\r')
status=$?
set -e
echo "$log"
check_equal "exit 1: links were left unrepaired" 1 "$status"
lines=$(grep -E '^修复(失败)?：' <<<"$log" | sort || true)

# 1.
check_equal "no document written, moved or removed" "$documents_before" \
  "$(cd "$documents" && sha1sum accounts.txt thesis.txt letter.txt 2>&1)"
check_true "the planted symbolic link is still a link" test -L "$desktop/Browser.lnk.qinghe-new"
check_true "the planted hard link is still there" test -f "$desktop/Mail.lnk.qinghe-new"
check_equal "the letter has one name left" 1 "$(stat -c %h "$documents/letter.txt")"
for name in Mail Browser; do
  dump=$("$lnkdump" "$desktop/$name.lnk" 2>&1 || true)
  check_equal "$name.lnk repaired: arguments" "" "$(field arguments "$dump")"
  check_equal "$name.lnk repaired: target" 'C:\windows\notepad.exe' "$(field target "$dump")"
done

# 4.
check_equal "ID-list link on the desktop left as it was" "$id_list_sha" "$(sha "$desktop/IdList.lnk")"
check_equal "ID-list link in quick launch left as it was" "$id_list_sha" "$(sha "$quick/IdList.lnk")"

# 5. Windows' link object gives such targets exactly and the link is
# rewritten with them; Wine's keeps a target only in the code page, gives it
# with '?', and the link is then left as it was and reported.
for i in "${!scripts[@]}"; do
  want="C:\\Programs\\${scripts[$i]}"
  read_back=$(wine "$lnk_probe" readw "$win_desktop\\script$i.lnk" | tr -d '\r')
  if grep -qxF "修复：script$i.lnk" <<<"$lines"; then
    check_equal "script$i.lnk: target" "$want\\app.exe" "$(field target "$read_back")"
    check_equal "script$i.lnk: working folder" "$want" "$(field working_directory "$read_back")"
    check_equal "script$i.lnk: arguments" "" "$(field arguments "$read_back")"
  else
    echo "known Wine difference: the link object gives script$i.lnk's target as $(field target "$read_back")"
    check_true "script$i.lnk: reported" grep -qxF "修复失败：script$i.lnk" <<<"$lines"
    check_equal "script$i.lnk: left as it was" "${script_sha[$i]}" "$(sha "$desktop/script$i.lnk")"
  fi
done
read_back=$(wine "$lnk_probe" readw "$win_quick\\folder.lnk" | tr -d '\r')
check_equal "folder.lnk: working folder kept exactly" 'C:\Programs\한국어' \
  "$(field working_directory "$read_back")"
check_equal "folder.lnk: arguments" "" "$(field arguments "$read_back")"

# 7. and 8.
for path in "${!untouched[@]}"; do
  check_equal "${path#"$user_dir"/} left as it was" "${untouched[$path]}" "$(sha "$path")"
done
for path in "$desktop/Camera.lnk" "$desktop/x2.lnk" "$desktop/sub/a.lnk"; do
  check_equal "${path#"$user_dir"/} repaired" "" "$(field arguments "$("$lnkdump" "$path" 2>&1)")"
done
check_equal "Camera.lnk repaired once, not again for Câmera.lnk" 1 "$(grep -cxF 修复：Camera.lnk <<<"$lines")"
check_equal "x2.lnk repaired once, not again for x².lnk" 1 "$(grep -cxF 修复：x2.lnk <<<"$lines")"
check_equal "sub\\a.lnk repaired once, not again through sub." 1 "$(grep -cxF 修复：a.lnk <<<"$lines")"
check_equal "nothing in the back-up folder's alias was copied" "" \
  "$(find "$backup" -name 'copy*.lnk')"

# Every line: the links repaired once each, the ones left alone reported once.
want=(修复：Mail.lnk 修复：Browser.lnk 修复失败：IdList.lnk 修复失败：IdList.lnk 修复：folder.lnk
      修复：Camera.lnk 修复失败：C?mera.lnk 修复：x2.lnk 修复失败：x?.lnk 修复：a.lnk)
for i in "${!scripts[@]}"; do want+=("$(grep -E "^修复(失败)?：script$i.lnk$" <<<"$lines" || echo "no line for script$i.lnk")"); done
check_equal "the shortcut lines" "$(printf '%s\n' "${want[@]}" | sort)" "$lines"

# A second run does not reach into the back-up folder through its alias either.
copies_before=$(cd "$backup" && sha1sum ./*.lnk)
wine "$cli" "http://www.example.com/" >/dev/null || true
check_equal "second run: copy in the alias left as it was" \
  "${untouched[$desktop/修复前桌面图标备份./copy.lnk]}" "$(sha "$desktop/修复前桌面图标备份./copy.lnk")"
check_equal "second run: the first run's copies as they were" "$copies_before" \
  "$(cd "$backup" && sha1sum ./*.lnk | grep -Ff <(cut -c43- <<<"$copies_before"))"

check_summary
