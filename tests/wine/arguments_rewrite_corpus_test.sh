#!/usr/bin/env bash
# The arguments-only rewrite over the links real Windows made (the shared
# corpus), judged by Wine's own link object and liblnk's lnkinfo: a page
# appended to each link's arguments reads back through both, and taking it
# out again gives the original file byte for byte. Exits 77 (skipped) where
# the corpus folder is absent.
# Usage: arguments_rewrite_corpus_test.sh ARCH PREFIX-ROOT LNK-PROBE CORPUS-DIR
set -euo pipefail
arch=$1 root=$2 probe=$3 testdata=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"
if [ ! -d "$testdata" ]; then
  qinghe_skip "no link corpus at $testdata"
fi
qinghe_test_prefix "$root" "$arch" arguments_rewrite_corpus
work="$prefix/drive_c/rewrite"
mkdir -p "$work"
wine_path() { printf 'Z:%s' "${1//\//\\}"; }
probe_arguments() {
  wine "$probe" read "$(wine_path "$1")" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' |
    sed -n 's/^arguments: //p'
}

rewritten=0 without=0
while IFS= read -r -d '' original; do
  name=$(basename "$original")
  # Only what Wine's link object reads as a link is a link here.
  wine "$probe" read "$(wine_path "$original")" >/dev/null 2>&1 || continue
  arguments=$(probe_arguments "$original")
  hijacked_arguments="${arguments:+$arguments }http://hao.example/"
  status=0
  wine "$probe" set-arguments "$(wine_path "$original")" "$(wine_path "$work/hijacked.lnk")" \
    "$(iconv -f UTF-8 -t GBK <<<"$hijacked_arguments")" || status=$?
  if [ "$status" -eq 3 ]; then
    without=$((without + 1))
    continue
  fi
  check_equal "$name: written" 0 "$status"
  check_equal "$name: Wine's link object reads the new arguments" "$hijacked_arguments" \
    "$(probe_arguments "$work/hijacked.lnk")"
  check_true "$name: lnkinfo reads the new arguments" grep -qxF \
    $'\tCommand line arguments\t\t: '"$hijacked_arguments" <(lnkinfo -c windows-936 "$work/hijacked.lnk")
  wine "$probe" set-arguments "$(wine_path "$work/hijacked.lnk")" "$(wine_path "$work/back.lnk")" \
    "$(iconv -f UTF-8 -t GBK <<<"$arguments")"
  # A character outside the code page comes back from the link object as '?'.
  if [[ $arguments != *'?'* ]]; then
    check_true "$name: taken out again, the file is the original" cmp "$original" "$work/back.lnk"
  fi
  rewritten=$((rewritten + 1))
done < <(find "$testdata" -name '*.lnk' -print0 | sort -z)
echo "$rewritten links rewritten, $without without an arguments field"
check_true "links with an arguments field were found" test "$rewritten" -gt 10
check_summary
