# A PC hijacked the way bundled installers hijack one today, seeded into the
# Wine prefix of qinghe_wine_env: Internet Explorer's start pages and policy
# key, the OEM8 folders and the browser links with a page appended; a Chrome
# profile hijacked by the real Chromium through its own settings page; the
# Edge and Chrome policies with a forced extension; a hijacker's Run entry
# and scheduled task; a hosts line; a look-alike browser link. Used by the
# run command, the README's pictures and the results window's test.
#   qinghe_seed_hijacked_pc LNK-PROBE-EXE WORK-FOLDER
# Without Debian's chromium the profile is left out, and said so.
here_hijacked_pc=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here_hijacked_pc/../tests/real_browsers/chromium_lib.sh"

qinghe_seed_hijacked_pc() {
  local probe=$1 work=$2 page=http://hao.hijack.example/ user_dir user programs chrome
  qinghe_wine_seed_hijack
  qinghe_wine_seed_hijacked_links "$probe"
  user_dir=$(qinghe_wine_user_dir "$WINEPREFIX")
  user="C:\\users\\$(basename "$user_dir")"
  programs="$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"

  # An installed Chrome (any program will do: nothing starts it) whose start
  # menu link has the page appended, and a look-alike on the public desktop.
  chrome='C:\Program Files\Google\Chrome\Application\chrome.exe'
  mkdir -p "$WINEPREFIX/drive_c/Program Files/Google/Chrome/Application" \
    "$WINEPREFIX/drive_c/users/Public/Desktop"
  cp "$WINEPREFIX/drive_c/windows/system32/notepad.exe" \
    "$WINEPREFIX/drive_c/Program Files/Google/Chrome/Application/chrome.exe"
  wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\chrome.exe' /ve \
    /d "$chrome" /f >/dev/null
  wine "$probe" write "$programs\\Google Chrome.lnk" "target=$chrome" \
    "arguments=--profile-directory=Default $page" >/dev/null
  wine "$probe" write 'C:\users\Public\Desktop\Google Chrome.lnk' \
    'target=C:\Windows\system32\cmd.exe' "arguments=/c start $page" >/dev/null

  # Chrome's own start pages, set by Chromium itself.
  if qinghe_chromium_bin >/dev/null 2>&1; then
    rm -rf "$work/chromium"
    mkdir -p "$work"
    (set +e; qinghe_chromium_make_profile "$work/chromium" && qinghe_chromium_hijack "$work/chromium" "$page") \
      >"$work/chromium-make.log" 2>&1 || { cat "$work/chromium-make.log" >&2; return 1; }
    local data="$user_dir/AppData/Local/Google/Chrome/User Data"
    mkdir -p "$data/Default"
    cp "$work/chromium/Local State" "$data/"
    cp "$work/chromium/Default/Preferences" "$work/chromium/Default/Secure Preferences" "$data/Default/"
  else
    echo "note: Debian's chromium is absent; the seeded PC has no hijacked Chrome profile" >&2
  fi

  # The browsers' policies, with an extension forced in.
  local policy key
  for policy in 'HKLM\Software\Policies\Google\Chrome' 'HKLM\Software\Policies\Microsoft\Edge'; do
    wine reg add "$policy" /v HomepageLocation /d "$page" /f >/dev/null
    wine reg add "$policy" /v RestoreOnStartup /t REG_DWORD /d 4 /f >/dev/null
    wine reg add "$policy\\RestoreOnStartupURLs" /v 1 /d "$page" /f >/dev/null
    wine reg add "$policy\\ExtensionInstallForcelist" /v 1 \
      /d 'abcdefghijklmnopabcdefghijklmnop;https://ext.hijack.example/update.xml' /f >/dev/null
  done

  # What puts it back: a Run entry opening the page at every logon, and a
  # task doing the same (written where the scheduler keeps definitions:
  # Wine's schtasks cannot reach its scheduler).
  key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
  wine reg add "$key" /v HomeKeeper /d "\"C:\\absent\\iexplore.exe\" $page" /f >/dev/null
  local tasks="$WINEPREFIX/drive_c/windows/system32/tasks"
  mkdir -p "$tasks"
  {
    printf '\xff\xfe'
    printf '<?xml version="1.0" encoding="UTF-16"?>\r\n<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">\r\n  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n  <Settings><Hidden>true</Hidden></Settings>\r\n  <Actions Context="Author"><Exec><Command>C:\\absent\\cmd.exe</Command><Arguments>/c start %s</Arguments></Exec></Actions>\r\n</Task>\r\n' \
      "$page" | iconv -f UTF-8 -t UTF-16LE
  } >"$tasks/HomePageKeeper"

  # A hosts line sending Baidu to the hijacker's server.
  printf '1.2.3.4 www.baidu.com\r\n' >>"$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts"
}

# ROOT/NAME, a fresh copy of the ready 64-bit prefix, seeded so, with Wine's
# environment set for it and its server stopped: the window then starts
# afresh, on a display. For the run command and the README's pictures.
#   qinghe_hijacked_pc_prefix ROOT NAME LNK-PROBE-EXE
qinghe_hijacked_pc_prefix() {
  local root=$1 name=$2 probe=$3
  qinghe_wine_create "$root/base" win64
  qinghe_wine_clone "$root/base" "$root/$name"
  qinghe_wine_env "$root/$name" win64
  qinghe_seed_hijacked_pc "$probe" "$root/$name.made"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
}
