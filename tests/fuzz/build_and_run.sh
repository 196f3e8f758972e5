#!/usr/bin/env bash
# Builds the link reader's libFuzzer target with clang (address and undefined
# behaviour sanitizers) and runs it, seeded with the links of the shared test
# corpus. Arguments after the build folder go to libFuzzer, e.g.
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

binary="$out/lnk_reader_fuzz"
sources=("$here/lnk_reader_fuzz.cpp" "$root/platform/portable/lnk_format.cpp"
         "$root/platform/portable/cp936.cpp" "$root/platform/shell_link_names.cpp")
if [ ! -x "$binary" ] || [ -n "$(find "${sources[@]}" "$root/platform/portable/lnk_format.h" \
      "$root/platform/portable/cp936.h" -newer "$binary")" ]; then
  "$clang" "${flags[@]}" -I"$root" "${sources[@]}" -o "$binary"
fi

# libFuzzer adds what it finds to the first folder; the seeds stay apart.
seeds="$out/seeds"
found="$out/found"
mkdir -p "$seeds" "$found"
corpus=${QINGHE_LNK_CORPUS:-$root/../shared/testdata/lnk}
if [ -d "$corpus" ]; then
  find "$corpus" -type f -iname '*.lnk' -print0 |
    while IFS= read -r -d '' file; do cp "$file" "$seeds/$(sha1sum <"$file" | cut -c1-16).lnk"; done
else
  echo "note: no link corpus at $corpus; fuzzing from nothing"
fi

cd "$out"
exec "$binary" -max_len=4096 -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
  -artifact_prefix="$out/" -print_final_stats=1 "$@" "$found" "$seeds"
