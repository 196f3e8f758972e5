#!/usr/bin/env bash
# Builds a libFuzzer target with clang (address and undefined behaviour
# sanitizers) and runs it: the link reader, seeded with the links of the
# shared test corpus, or with QINGHE_FUZZ_TARGET=profile_editor the profile
# editors. Every input in tests/fuzz/seeds/TARGET runs first, at every run:
# each is one a run once found, kept so it is never found again. Arguments
# after the build folder go to libFuzzer, e.g.
#   bash tests/fuzz/build_and_run.sh build/fuzz -runs=200000
# Exits 77, which ctest counts as skipped, only where clang or libFuzzer is
# missing; a crash, a timeout or running out of memory fails.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../skip_guard.sh
source "$here/../skip_guard.sh"
root=$(cd "$here/../.." && pwd)
out=${1:?usage: build_and_run.sh BUILD_FOLDER [LIBFUZZER_ARGUMENTS...]}
shift
mkdir -p "$out"
out=$(cd "$out" && pwd)

clang=${CLANGXX:-clang++}
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
if ! command -v "$clang" >/dev/null 2>&1; then
  qinghe_skip "no $clang to build the fuzz targets with (clang with libFuzzer)"
fi
probe="$out/probe.cpp"
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe"
if ! "$clang" "${flags[@]}" "$probe" -o "$out/probe" >/dev/null 2>&1; then
  qinghe_skip "$clang cannot build with -fsanitize=fuzzer (no libFuzzer)"
fi

target=${QINGHE_FUZZ_TARGET:-lnk_reader}
libraries=()
binary="$out/${target}_fuzz"
if [ "$target" = profile_editor ]; then
  sources=("$here/profile_editor_fuzz.cpp" "$root/engine/rules/json_members.cpp"
           "$root/engine/rules/byte_ranges.cpp" "$root/engine/rules/chromium_prefs.cpp"
           "$root/engine/rules/chromium_search.cpp" "$root/engine/rules/chromium_extensions.cpp"
           "$root/engine/rules/firefox_prefs.cpp" "$root/engine/rules/autoconfig_script.cpp"
           "$root/engine/rules/start_urls.cpp" "$root/engine/rules/firefox_search.cpp"
           "$root/engine/rules/mozlz4_frame.cpp" "$root/engine/rules/firefox_addons.cpp"
           "$root/platform/text_utf8.cpp" "$root/platform/text.cpp"
           "$root/platform/sorting.cpp"
           "$root/platform/portable/text_utf16_portable.cpp" "$root/platform/portable/cp936.cpp")
  headers=("$root/engine/rules/json_members.h" "$root/engine/rules/byte_ranges.h"
           "$root/engine/rules/chromium_prefs.h" "$root/engine/rules/chromium_prefs_file.h"
           "$root/engine/rules/chromium_search.h" "$root/engine/rules/chromium_extensions.h"
           "$root/engine/rules/firefox_prefs.h"
           "$root/engine/rules/autoconfig_script.h" "$root/engine/rules/firefox_search.h"
           "$root/engine/rules/mozlz4_frame.h" "$root/engine/rules/firefox_addons.h")
  # RapidJSON from the distribution (these files hold no Chinese text).
  # RapidJSON 1.1's stack adds to its null pointer before its first push
  # (internal/stack.h, Reserve), which its later releases stopped doing.
  flags+=(-I/usr/include -fno-sanitize=pointer-overflow)
  # LZ4 from the distribution (liblz4-dev), as the host build links it.
  libraries=(-llz4)
else
  # text.cpp: Text's operator+ lives there (platform/text.h).
  sources=("$here/lnk_reader_fuzz.cpp" "$root/platform/portable/lnk_format.cpp"
           "$root/platform/portable/cp936.cpp" "$root/platform/shell_link_names.cpp"
           "$root/platform/text.cpp")
  headers=("$root/platform/portable/lnk_format.h" "$root/platform/portable/cp936.h")
fi
if [ ! -x "$binary" ] || [ -n "$(find "${sources[@]}" "${headers[@]}" -newer "$binary")" ]; then
  "$clang" "${flags[@]}" -I"$root" "${sources[@]}" "${libraries[@]}" -o "$binary"
fi

# libFuzzer adds what it finds to the first folder, in the build folder;
# the project's seeds and the link corpus are only read.
found="$out/found"
mkdir -p "$found"
folders=("$found")
seeds="$here/seeds/$target"
if [ -d "$seeds" ]; then folders+=("$seeds"); fi
corpus=${QINGHE_LNK_CORPUS:-$root/../shared/testdata/lnk}
if [ "$target" = lnk_reader ]; then
  if [ -d "$corpus" ]; then
    links="$out/corpus"
    mkdir -p "$links"
    find "$corpus" -type f -iname '*.lnk' -print0 |
      while IFS= read -r -d '' file; do cp "$file" "$links/$(sha1sum <"$file" | cut -c1-16).lnk"; done
    folders+=("$links")
  else
    echo "note: no link corpus at $corpus; fuzzing from the project's seeds"
  fi
fi

# libFuzzer's own exit code for a crash is 77, which ctest reads as skipped:
# asked for others, and any 77 left is a failure (skip_guard.sh).
cd "$out"
status=0
"$binary" -max_len=8192 -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
  -error_exitcode=1 -timeout_exitcode=2 \
  -artifact_prefix="$out/" -print_final_stats=1 "$@" "${folders[@]}" || status=$?
if [ "$status" -ne 0 ]; then
  echo "FAIL: $target fuzzing ended with status $status; the input is the crash-, timeout-" \
    "or oom- file in $out. Once it is fixed, keep the input as a seed in tests/fuzz/seeds/$target/."
fi
exit "$status"
