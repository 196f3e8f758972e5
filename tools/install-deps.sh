#!/usr/bin/env bash
# Installs, idempotently, everything the builds and tests need on a fresh
# Debian 12 machine. Run as root.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format libgtest-dev googletest libssl-dev
  libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick
  locales liblnk-utils fonts-wqy-microhei e2fsprogs
  rapidjson-dev libexpat1-dev
  # The release zip (tools/release.sh) and the include-graph test.
  python3
  # LZ4: the host build links Debian's library; the Windows build compiles
  # the same release's lib/lz4.c, fetched below with apt-get source.
  liblz4-dev dpkg-dev
  # The real browsers whose profiles the tests repair (test dependencies).
  chromium firefox-esr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

if [ "${#missing[@]}" -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync serves an index that does not match its release
  # file for a minute or two: try the update again before giving up on it.
  updated=no
  for wait in 0 15 30 60 90; do
    sleep "$wait"
    if $sudo apt-get update -qq; then updated=yes; break; fi
  done
  # Lists that are old or in part may still hold every package needed.
  if ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    [ "$updated" = yes ] || echo "install-deps: the package index could not be updated (mirror out of step?) and these could not be installed: ${missing[*]}; rerun: bash tools/install-deps.sh" >&2
    [ "$updated" = no ] || echo "install-deps: these packages could not be installed: ${missing[*]}; rerun: bash tools/install-deps.sh" >&2
    exit 1
  fi
fi

# Wine maps Chinese file names through the C library's locale: it must exist.
# (grep reads a here-string: piped, its early exit would fail the pipe.)
if ! grep -qi '^zh_CN\.utf-\?8$' <<<"$(locale -a 2>/dev/null)"; then
  $sudo sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

# The LZ4 source the Windows build compiles: Debian's own release of the
# library the host links, fetched through a deb-src entry beside the
# machine's deb one, into the build folder (never tracked, never committed).
# The entry takes its address and release from the machine's own entry for
# Debian's main archive, as apt knows it: no mirror is named here.
debian_archive() {
  apt-get indextargets --format '$(REPO_URI) $(CODENAME)' 'Identifier: Packages' 'Label: Debian' \
    2>/dev/null | awk '$2 !~ /-/ { print; exit }'
}
lz4_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/sources/lz4"
if [ ! -f "$lz4_dir/lib/lz4.c" ]; then
  src_list=/etc/apt/sources.list.d/qinghe-debian-src.sources
  if [ ! -f "$src_list" ]; then
    archive=$(debian_archive)
    [ -n "$archive" ] || { $sudo apt-get update -qq || true; archive=$(debian_archive); }
    read -r archive_uri release <<<"$archive"
    if [ -z "${archive_uri:-}" ] || [ -z "${release:-}" ]; then
      echo "install-deps: apt knows no entry for Debian's main archive, which the deb-src entry for lz4 follows" >&2
      exit 1
    fi
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    $sudo tee "$src_list" >/dev/null <<SOURCES
Types: deb-src
URIs: $archive_uri
Suites: $release $release-updates
Components: main
Signed-By: $keyring
SOURCES
  fi
  # The source index comes with an update; a mirror mid-sync may fail one
  # of the others, which apt-get source does not need.
  for wait in 0 15 30; do
    apt-get source --print-uris lz4 2>/dev/null | grep -q "lz4_" && break
    sleep "$wait"
    $sudo apt-get update -qq || true
  done
  fetch="$(mktemp -d)"
  chmod 755 "$fetch"  # apt fetches as its own user
  # apt-get source checks the .dsc against the signed index, and unpacks.
  (cd "$fetch" && apt-get source -qq lz4 >/dev/null) ||
    { echo "install-deps: apt-get source lz4 failed; rerun: bash tools/install-deps.sh" >&2; exit 1; }
  unpacked=("$fetch"/lz4-*/)
  [ -f "${unpacked[0]}lib/lz4.c" ] || { echo "install-deps: apt-get source lz4 gave no lib/lz4.c" >&2; exit 1; }
  mkdir -p "$(dirname "$lz4_dir")"
  rm -rf "$lz4_dir"
  mv "${unpacked[0]}" "$lz4_dir"
  rm -rf "$fetch"
fi
