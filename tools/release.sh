#!/usr/bin/env bash
# Builds both Windows programs and packs the release a user downloads:
# build/dist/qinghe-VERSION.zip with qinghe.exe, qinghe-cli.exe,
# qinghe64.exe, qinghe64-cli.exe, 使用说明.txt (which program to run, what
# it changes, where the bundles and logs are, how to undo) and SHA256SUMS.txt.
# VERSION is the programs' own (the project's version, which their logs and
# version resource name).
#   bash tools/release.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-deps.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target qinghe qinghe-cli >/dev/null
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64/CMakeCache.txt)
[ -n "$version" ] || { echo "release: no project version in build/win64/CMakeCache.txt" >&2; exit 1; }

dist=build/dist
stage=$dist/qinghe-$version
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage"
cp build/win32/app/qinghe.exe build/win32/app/qinghe-cli.exe \
  build/win64/app/qinghe64.exe build/win64/app/qinghe64-cli.exe "$stage/"
# Notepad on every Windows from XP on reads UTF-8 with its mark, in CR LF.
{ printf '\xEF\xBB\xBF'; sed "s/@VERSION@/$version/; s/\$/\r/" tools/release/usage.txt; } \
  >"$stage/使用说明.txt"
names=(qinghe.exe qinghe-cli.exe qinghe64.exe qinghe64-cli.exe 使用说明.txt)
{ printf '\xEF\xBB\xBF'; (cd "$stage" && sha256sum "${names[@]}" | sed 's/$/\r/'); } >"$stage/SHA256SUMS.txt"
python3 tools/release/make_zip.py "$stage.zip" "$stage" "${names[@]}" SHA256SUMS.txt
echo "Written: $stage.zip"
(cd "$stage" && tail -c +4 SHA256SUMS.txt | sed 's/\r$//')
