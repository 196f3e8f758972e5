# Wine helpers, sourced by the tools and tests. Every prefix they make is
# private: it lies under the folder it is given (a build folder), its user
# shell folders are real folders inside it, and HOME points at a throwaway
# folder beside it, so nothing the program does can reach a home folder.

# The lanes. A lane is the programs' build (QINGHE_WINE_PROGRAM_BITS: 32, the
# default, or 64) and the prefix's architecture (win32 or win64, each
# function's ARCH). The 64-bit programs run only in a 64-bit prefix, under
# Wine's 64-bit loader, which the lane starts itself (tools/wine64-lane);
# the 32-bit ones under Debian's `wine`, which starts the 32-bit loader.
qinghe_wine_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

qinghe_wine_program_bits() { printf '%s' "${QINGHE_WINE_PROGRAM_BITS:-32}"; }

# Puts the lane's loader first on PATH, for this shell and every program it
# starts (wineboot, winepath and reg through Debian's wrappers too).
qinghe_wine_lane_path() {
  local lane_bin=$qinghe_wine_lib_dir/wine64-lane
  [ "$(qinghe_wine_program_bits)" = 64 ] || return 0
  case ":$PATH:" in
    *":$lane_bin:"*) ;;
    *) export PATH="$lane_bin:$PATH" ;;
  esac
}

# True where Wine's 32-bit loader starts (see qinghe_wine_require_32bit).
qinghe_wine_runs_32bit() { (export LC_ALL=C; "${QINGHE_WINE_LOADER:-/usr/lib/wine/wine}" --version) >/dev/null 2>&1; }

# Runs a 32-bit program (or Windows' own 32-bit tool) through Debian's
# `wine`, whatever the lane: for the tests that compare the two builds.
qinghe_wine32() {
  (
    export PATH=${PATH//"$qinghe_wine_lib_dir/wine64-lane:"/}
    unset WINELOADER
    wine "$@"
  )
}

# Sets the environment for running Wine in PREFIX of architecture ARCH
# (win32 or win64).
qinghe_wine_env() {
  local prefix=$1 arch=$2
  case "$prefix" in
    "$HOME"/.wine* | /root/.wine* | "") echo "refusing Wine prefix '$prefix'" >&2; return 1 ;;
  esac
  if [ "$(qinghe_wine_program_bits)" = 64 ] && [ "$arch" != win64 ]; then
    echo "64-bit programs run only in a 64-bit prefix, not in '$arch'" >&2
    return 1
  fi
  qinghe_wine_lane_path
  export WINEPREFIX="$prefix" WINEARCH="$arch"
  export HOME="$prefix.home"
  export LC_ALL=zh_CN.UTF-8
  export WINEDEBUG=-all
  # No menu entries written into HOME; no offer to install Mono or Gecko;
  # no web address handed to the machine's own browser (a test seeds
  # commands that open pages, which Wine itself runs at a session's start).
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winebrowser.exe=d"
  mkdir -p "$HOME"
}

# Wine runs a 32-bit Windows program through its 32-bit Linux loader, in
# the 64-bit prefix too. A kernel that runs no 32-bit Linux programs (one
# booted with ia32_emulation off, as some virtual machines' hosts force)
# refuses it with ENOEXEC: the 32-bit lanes cannot run there at all. Ends
# the script as skipped, saying so; where the loader starts, or is not
# installed (a fault of the set-up, which the test then shows), returns.
# The 64-bit lane needs no 32-bit code and is never skipped: where its
# loader cannot start, its tests fail.
qinghe_wine_require_32bit() {
  [ "$(qinghe_wine_program_bits)" = 64 ] && return 0
  local loader=${QINGHE_WINE_LOADER:-/usr/lib/wine/wine} said
  [ -e "$loader" ] || return 0
  said=$(export LC_ALL=C; "$loader" --version 2>&1 >/dev/null) && return 0
  [[ $said == *"Exec format error"* ]] || return 0
  local why="this machine's kernel starts no 32-bit programs ($loader: exec format error), and Wine's loader for 32-bit Windows programs is one"
  if declare -F qinghe_skip >/dev/null; then qinghe_skip "$why"; fi
  echo "skipped: $why"
  exit 77
}

# Fails when any link below the prefix's user folders leads out of it.
qinghe_wine_check_private() {
  local prefix=$1 link
  while IFS= read -r link; do
    echo "Wine prefix $prefix holds a link that leads out: $link" >&2
    return 1
  done < <(find "$prefix/drive_c/users" -type l 2>/dev/null)
}

# Creates PREFIX with wineboot unless it is there already; safe to call from
# parallel tests (one of them creates it, the others wait).
qinghe_wine_create() {
  local prefix=$1 arch=$2
  qinghe_wine_require_32bit
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.qinghe-ready" ]; then
      rm -rf "$prefix" "$prefix.home"
      qinghe_wine_env "$prefix" "$arch"
      wineboot -i >/dev/null 2>&1
      wineserver -w
      # wineboot links Desktop, Documents, ... to HOME: make them real folders.
      local link
      find "$prefix/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
        rm -f "$link"
        mkdir -p "$link"
      done
      # A prefix that leads out is never marked ready, with or without set -e.
      qinghe_wine_check_private "$prefix" || exit 1
      touch "$prefix/.qinghe-ready"
    fi
  ) 9>"$prefix.lock"
}

# Makes PREFIX a fresh copy of the ready prefix BASE. Files are hard-linked,
# except the registry, the user folders and the system's network files
# (hosts), which a run writes.
qinghe_wine_clone() {
  local base=$1 prefix=$2
  qinghe_wine_require_32bit
  rm -rf "$prefix" "$prefix.home"
  cp -al "$base" "$prefix"
  local hive
  for hive in "$prefix"/*.reg; do cp --remove-destination "$base/$(basename "$hive")" "$hive"; done
  rm -rf "$prefix/drive_c/users"
  cp -a "$base/drive_c/users" "$prefix/drive_c/users"
  local etc=drive_c/windows/system32/drivers/etc
  if [ -d "$base/$etc" ]; then
    rm -rf "${prefix:?}/$etc"
    cp -a "$base/$etc" "$prefix/$etc"
  fi
  qinghe_wine_check_private "$prefix"
}

# For a shell test: makes ROOT/NAME a fresh copy of the ready prefix
# ROOT/base, sets the environment for running Wine in it and stops its
# wineserver when the script exits (through qinghe_at_exit where the test
# has it, tests/skip_guard.sh). Sets `prefix` to ROOT/NAME.
qinghe_test_prefix() {
  local root=$1 arch=$2 name=$3
  prefix="$root/$name"
  qinghe_wine_clone "$root/base" "$prefix"
  qinghe_wine_env "$prefix" "$arch"
  if declare -F qinghe_at_exit >/dev/null; then
    qinghe_at_exit 'wineserver -k >/dev/null 2>&1'
  else
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  fi
}

# For a bench: makes the ready prefix ROOT/base when there is none, ROOT/NAME
# a fresh copy of it, and sets the environment for running Wine there. The
# bench stops the wineserver itself.
qinghe_bench_prefix() {
  local root=$1 arch=$2 name=$3
  qinghe_wine_create "$root/base" "$arch"
  qinghe_wine_clone "$root/base" "$root/$name"
  qinghe_wine_env "$root/$name" "$arch"
}

# Starts Wine's Task Scheduler service (schedsvc) in the running prefix
# (after qinghe_wine_env), unless it runs already, and waits until the
# service manager says it runs. The service ends with the session, when
# the last program of the prefix has ended: the wineserver is made
# persistent here, so it runs until the server is stopped (the exit hook of
# qinghe_test_prefix). A server already running cannot be made persistent:
# it is waited for to end first, so call this while no program of the
# prefix runs. Wine's taskschd starts the service on its own when a
# program connects; a test that asks the scheduler through other programs
# starts it first. What Wine's scheduler keeps of a registered task:
# tests/win32/wine_differences.h. Fails, saying so, when it does not come up.
qinghe_wine_start_scheduler() {
  local tries
  if [ "${qinghe_wine_kept_server:-}" != "$WINEPREFIX" ]; then
    if ! wineserver -p 2>/dev/null; then
      wineserver -w
      wineserver -p
    fi
    qinghe_wine_kept_server=$WINEPREFIX
  fi
  qinghe_wine_scheduler_runs && return 0
  # Exit status 1 too where it was started meanwhile: the query decides.
  wine net start schedule >/dev/null 2>&1
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    qinghe_wine_scheduler_runs && return 0
    sleep 0.5
  done
  echo "Wine's Task Scheduler service does not start in $WINEPREFIX" >&2
  return 1
}

# True when the service manager of the running prefix says the Task
# Scheduler service runs.
qinghe_wine_scheduler_runs() {
  wine sc query schedule 2>/dev/null | grep -q 'STATE *: *4 *RUNNING'
}

# The name of the folder the lane's programs load the system's DLLs from,
# below C:\windows of a prefix of ARCH: syswow64 for a 32-bit program in a
# 64-bit prefix, system32 otherwise.
qinghe_wine_system_dir() {
  if [ "$1" = win64 ] && [ "$(qinghe_wine_program_bits)" = 32 ]; then echo syswow64; else echo system32; fi
}

# The Unix path of a file inside PREFIX's drive C, from a path below C:\.
qinghe_wine_c() { printf '%s/drive_c/%s' "$1" "$2"; }

# The user's folder inside the prefix (drive_c/users/NAME).
qinghe_wine_user_dir() {
  local dir
  for dir in "$1"/drive_c/users/*; do
    [ "$(basename "$dir")" = Public ] && continue
    printf '%s' "$dir"
    return 0
  done
  return 1
}

# Seeds the running prefix (after qinghe_wine_env) with what a home-page
# hijacker leaves: start pages in both registry views, the policy key, and
# both OEM8 folders with files in them.
qinghe_wine_seed_hijack() {
  local prefix=$WINEPREFIX key view views=(/reg:32)
  [ "$WINEARCH" = win64 ] && views=(/reg:32 /reg:64)
  for key in 'HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main' \
             'HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Main'; do
    for view in "${views[@]}"; do
      wine reg add "$key" /v "Start Page" /d "http://hijack.example/" /f "$view" >/dev/null
    done
  done
  wine reg add 'HKEY_CURRENT_USER\Software\Policies\Microsoft' /f >/dev/null
  mkdir -p "$prefix/drive_c/OEM8/bin" "$prefix/drive_c/windows/OEM8/cache"
  echo payload >"$prefix/drive_c/OEM8/bin/run.exe"
  echo payload >"$prefix/drive_c/windows/OEM8/cache/run.dll"
}

# Seeds the running prefix with shortcuts a hijacker has appended an address
# to: the start menu's browser link, a quick-launch link, a pinned taskbar
# link and desktop links, written through the shell by PROBE (lnk_probe.exe).
qinghe_wine_seed_hijacked_links() {
  local probe=$1 user start quick desktop link
  user="C:\\users\\$(basename "$(qinghe_wine_user_dir "$WINEPREFIX")")"
  start="$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
  quick="$user\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"
  desktop="$user\\Desktop"
  wine cmd /c mkdir "$quick\\User Pinned\\TaskBar" "$desktop\\工具" >/dev/null 2>&1 || true
  for link in "$start\\Internet Explorer.lnk" "$quick\\Internet Explorer.lnk" \
              "$quick\\User Pinned\\TaskBar\\Internet Explorer.lnk" "$desktop\\Internet Explorer.lnk" \
              "$desktop\\工具\\记事本.lnk"; do
    wine "$probe" write "$link" 'target=C:\Program Files\Internet Explorer\iexplore.exe' \
      'arguments=http://hijack.example/' 'working_directory=C:\Program Files\Internet Explorer' \
      'icon_path=C:\hijack.ico' >/dev/null
  done
}
