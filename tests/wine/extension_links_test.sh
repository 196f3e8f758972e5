#!/usr/bin/env bash
# An extension's manifest behind a link, under Wine, through qinghe-cli: in
# one Chrome user-data folder a profile whose extension from outside the
# store takes the home page, read and named; and one profile for each level
# a link can be planted at on the way to that manifest (the profile's
# Extensions folder, the extension's folder, its version folder, the file
# itself), each leading to a copy of the same hijacking manifest.
# - the check names the extension read where its path says;
# - the manifest is only read to judge the extension, so a link to a folder
#   on the way is read through: that extension is named as well;
# - so is a manifest that is itself a Unix link, which Wine shows as a plain
#   file (Windows shows its own file links as reparse points, which are never
#   read: the files contract test);
# - the check changes nothing, and the repair changes only the profiles'
#   own settings, nothing behind a link.
# Wine shows a Unix link to a folder as a reparse point, as Windows a junction.
# Usage: extension_links_test.sh ARCH PREFIX-ROOT QINGHE-CLI
set -euo pipefail
arch=$1 root=$2 cli=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../tools/wine-lib.sh"
source "$here/check.sh"

qinghe_test_prefix "$root" "$arch" extension_links
user_dir=$(qinghe_wine_user_dir "$prefix")
address=https://www.user-home.cn/
chrome="$user_dir/AppData/Local/Google/Chrome/User Data"
away="$prefix/drive_c/away"
id=keeperkeeperkeeperkeeperkeeperke
manifest='{"manifest_version":3,"name":"Keeper","version":"1.0","chrome_settings_overrides":{"homepage":"http://hao.hijack.test/"}}'

# profile NAME: a profile listing the extension (location 4: from outside
# the store), its manifest in place.
profile() {
  mkdir -p "$chrome/$1/Extensions/$id/1.0_0"
  printf '{"homepage":"%s","extensions":{"settings":{"%s":{"location":4,"path":"%s\\\\1.0_0","state":1}}}}' \
    "$address" "$id" "$id" >"$chrome/$1/Preferences"
  printf '%s' "$manifest" >"$chrome/$1/Extensions/$id/1.0_0/manifest.json"
}
# plant NAME LEVEL: the folder or file at LEVEL below the profile moved
# away, a link to it in its place.
plant() {
  local at="$chrome/$1/$2"
  mkdir -p "$away/$1"
  mv "$at" "$away/$1/"
  ln -s "$away/$1/$(basename "$at")" "$at"
}
profile Default
levels=("Extensions" "Extensions/$id" "Extensions/$id/1.0_0" "Extensions/$id/1.0_0/manifest.json")
for at in 0 1 2 3; do
  profile "Profile $at"
  plant "Profile $at" "${levels[$at]}"
  check_true "the link at ${levels[$at]} leads to the manifest" cmp -s \
    <(printf '%s' "$manifest") "$chrome/Profile $at/Extensions/$id/1.0_0/manifest.json"
done

snapshot() {
  (cd "$prefix/drive_c" && set -- "users/$(basename "$user_dir")/AppData" away &&
    find "$@" -path '*/Local/qinghe' -prune -o -type l -printf '%p -> %l\n' | sort &&
    find "$@" -path '*/Local/qinghe' -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
}
before=$(snapshot)
check=$(wine "$cli" check "$address" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
check_equal "the check changed nothing" "$before" "$(snapshot)"
lines=$(grep '^浏览器主页：' <<<"$check" || true)
want="浏览器主页：Chrome（Default）扩展程序“Keeper”（$id）改写了主页，将删除"
for at in 0 1 2 3; do
  want+="
浏览器主页：Chrome（Profile $at）扩展程序“Keeper”（$id）改写了主页，将删除"
done
check_equal "read through a link on the way" "$want" "$lines"

behind_links() {
  (cd "$prefix/drive_c" && find away -type f -print0 | sort -z | xargs -0 sha256sum)
}
behind=$(behind_links)
wine "$cli" repair "$address" >/dev/null 2>&1 || true
check_equal "the repair changed nothing behind a link" "$behind" "$(behind_links)"
for at in 0 1 2 3; do
  check_fails "the repair took the extension out of Profile $at" \
    grep -q "\"$id\"" "$chrome/Profile $at/Preferences"
done
check_summary
