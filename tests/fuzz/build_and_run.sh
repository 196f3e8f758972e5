#!/usr/bin/env bash
# Builds a libFuzzer target with clang (address and undefined behaviour
# sanitizers) and runs it: the link reader, seeded with the links of the
# shared test corpus, or with QINGHE_FUZZ_TARGET=profile_editor the profile
# editors, seeded with profile files. Arguments after the build folder go to
# libFuzzer, e.g.
#   bash tests/fuzz/build_and_run.sh build/fuzz -runs=200000
# Exits 77, which ctest counts as skipped, where clang or libFuzzer is missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?usage: build_and_run.sh BUILD_FOLDER [LIBFUZZER_ARGUMENTS...]}
shift
mkdir -p "$out"
out=$(cd "$out" && pwd)

clang=${CLANGXX:-clang++}
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
if ! command -v "$clang" >/dev/null 2>&1; then
  echo "skipped: no $clang"
  exit 77
fi
probe="$out/probe.cpp"
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe"
if ! "$clang" "${flags[@]}" "$probe" -o "$out/probe" >/dev/null 2>&1; then
  echo "skipped: $clang cannot build with -fsanitize=fuzzer"
  exit 77
fi

target=${QINGHE_FUZZ_TARGET:-lnk_reader}
binary="$out/${target}_fuzz"
if [ "$target" = profile_editor ]; then
  sources=("$here/profile_editor_fuzz.cpp" "$root/engine/json_members.cpp"
           "$root/engine/byte_ranges.cpp" "$root/engine/chromium_prefs.cpp"
           "$root/engine/firefox_prefs.cpp"
           "$root/engine/start_urls.cpp" "$root/platform/text_utf8.cpp" "$root/platform/text.cpp"
           "$root/platform/portable/text_utf16_portable.cpp" "$root/platform/portable/cp936.cpp")
  headers=("$root/engine/json_members.h" "$root/engine/byte_ranges.h"
           "$root/engine/chromium_prefs.h" "$root/engine/firefox_prefs.h")
  # RapidJSON from the distribution (these files hold no Chinese text).
  # RapidJSON 1.1's stack adds to its null pointer before its first push
  # (internal/stack.h, Reserve), which its later releases stopped doing.
  flags+=(-I/usr/include -fno-sanitize=pointer-overflow)
else
  sources=("$here/lnk_reader_fuzz.cpp" "$root/platform/portable/lnk_format.cpp"
           "$root/platform/portable/cp936.cpp" "$root/platform/shell_link_names.cpp")
  headers=("$root/platform/portable/lnk_format.h" "$root/platform/portable/cp936.h")
fi
if [ ! -x "$binary" ] || [ -n "$(find "${sources[@]}" "${headers[@]}" -newer "$binary")" ]; then
  "$clang" "${flags[@]}" -I"$root" "${sources[@]}" -o "$binary"
fi

# libFuzzer adds what it finds to the first folder; the seeds stay apart.
seeds="$out/seeds"
found="$out/found"
mkdir -p "$seeds" "$found"
corpus=${QINGHE_LNK_CORPUS:-$root/../shared/testdata/lnk}
if [ "$target" = profile_editor ]; then
  # A Chromium-shaped Preferences (first byte even) and a prefs.js (odd).
  printf '%s' '0{"homepage":"http://a.cn/","homepage_is_newtabpage":false,"protection":{"macs":{"homepage":"AA","homepage_encrypted_hash":"B","session":{"startup_urls":"C"}}},"session":{"restore_on_startup":4,"startup_urls":["http://a.cn/"]},"x":[1,2.5e3,null,true]}' >"$seeds/chromium.json"
  printf '%s\n' '1// c' 'user_pref("browser.startup.homepage", "http://a.cn/|about:home");' \
    "user_pref('browser.startup.page', 1); /* x */ user_pref(\"a\", -3);" >"$seeds/prefs.js"
elif [ -d "$corpus" ]; then
  find "$corpus" -type f -iname '*.lnk' -print0 |
    while IFS= read -r -d '' file; do cp "$file" "$seeds/$(sha1sum <"$file" | cut -c1-16).lnk"; done
else
  echo "note: no link corpus at $corpus; fuzzing from nothing"
fi

cd "$out"
exec "$binary" -max_len=8192 -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
  -artifact_prefix="$out/" -print_final_stats=1 "$@" "$found" "$seeds"
