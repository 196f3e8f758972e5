# shellcheck shell=bash
# Helpers that drive a real Chromium (Debian's `chromium`) on a private
# user-data folder, sourced by the real-browser tests. Every run is headless,
# has HOME (and the XDG folders) in a throwaway folder beside the user-data
# folder, uses the "basic" password store (a fixed key, nothing from a
# keyring), and ends by itself; its output is appended to DIR.chromium.log.
#
#   qinghe_chromium_make_profile DIR      first run: creates DIR/Local State,
#                                         DIR/Default/Preferences and
#                                         DIR/Default/Secure Preferences
#   qinghe_chromium_hijack DIR URL        the browser's own settings page sets
#                                         homepage=URL, homepage_is_newtabpage=
#                                         false, session.restore_on_startup=4,
#                                         session.startup_urls=[URL]; checks
#                                         that the browser stored each with a
#                                         MAC and an encrypted hash; writes
#                                         the values it stored (the home page
#                                         after its URL fix-up) to
#                                         DIR.hijack.json
#   qinghe_chromium_run DIR [SWITCH...]   starts the browser on DIR once more
#                                         and lets it exit
#   qinghe_chromium_pref_state DIR        prints, as JSON, where each of those
#                                         four preferences lives, its value,
#                                         its protection entries and whether
#                                         the browser recorded a reset
#
# QINGHE_CHROMIUM_BIN       the browser binary (default: Debian's real binary
#                           behind the /usr/bin/chromium wrapper script)
# QINGHE_CHROMIUM_ENFORCE   switches added to every start to ask for the
#                           strictest protection of tracked preferences. The
#                           default names the strictest group of the old
#                           "SettingsEnforcement" field trial; Chromium builds
#                           that no longer read that trial (Debian's 156 does
#                           not: see docs/browser-profiles.md) ignore
#                           it, and on Linux they never enforce.
# QINGHE_CHROMIUM_TIMEOUT   seconds one start may take (default 90)

: "${QINGHE_CHROMIUM_ENFORCE=--force-fieldtrials=SettingsEnforcement/enforce_always_with_extensions_and_dse/}"
: "${QINGHE_CHROMIUM_TIMEOUT:=90}"

qinghe_chromium_bin() {
  if [ -n "${QINGHE_CHROMIUM_BIN:-}" ]; then
    printf '%s\n' "$QINGHE_CHROMIUM_BIN"
  elif [ -x /usr/lib/chromium/chromium ]; then
    # The wrapper adds extension switches and sources /etc/chromium.d; the
    # real binary alone is more predictable.
    printf '%s\n' /usr/lib/chromium/chromium
  else
    command -v chromium || command -v chromium-browser || return 1
  fi
}

# The preference names the helpers look at, in the order they print them.
qinghe_chromium_tracked_names='homepage homepage_is_newtabpage session.restore_on_startup session.startup_urls'

qinghe_chromium__absdir() {
  local dir=$1
  case "$dir" in
    /*) ;;
    *) dir="$PWD/$dir" ;;
  esac
  printf '%s\n' "${dir%/}"
}

qinghe_chromium__home() {
  local dir=$1
  printf '%s/.%s.home\n' "$(dirname "$dir")" "$(basename "$dir")"
}

# Runs the browser headless on DIR with the common switches, then ARGS; the
# last arguments decide what it does and when it ends.
qinghe_chromium__exec() {
  local dir=$1 bin home
  shift
  bin=$(qinghe_chromium_bin) || { echo "no chromium binary found" >&2; return 1; }
  home=$(qinghe_chromium__home "$dir")
  mkdir -p "$home"
  # shellcheck disable=SC2086  # QINGHE_CHROMIUM_ENFORCE is a list of switches
  env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" DBUS_SESSION_BUS_ADDRESS=disabled: \
    timeout -k 10 "$QINGHE_CHROMIUM_TIMEOUT" "$bin" \
      --headless=new --no-sandbox --disable-gpu --no-first-run \
      --no-default-browser-check --disable-background-networking \
      --disable-component-update --disable-sync --password-store=basic \
      --user-data-dir="$dir" $QINGHE_CHROMIUM_ENFORCE "$@"
}

# Fails when DIR still looks held by a browser (a clean exit removes the
# SingletonLock link).
qinghe_chromium__check_released() {
  local dir=$1
  if [ -L "$dir/SingletonLock" ]; then
    echo "chromium left $dir/SingletonLock behind (did not exit cleanly)" >&2
    return 1
  fi
}

qinghe_chromium_run() {
  local dir rc=0
  dir=$(qinghe_chromium__absdir "$1")
  shift
  [ -d "$dir" ] || { echo "no profile folder $dir" >&2; return 1; }
  {
    echo "=== qinghe_chromium_run $dir $* ($(date -u +%FT%TZ))"
    # --dump-dom loads the page, prints it and ends the browser the ordinary
    # way, which writes the preference files.
    qinghe_chromium__exec "$dir" "$@" --dump-dom about:blank || rc=$?
    echo "=== exit status $rc"
  } >>"$dir.chromium.log" 2>&1
  [ "$rc" -eq 0 ] || { echo "chromium on $dir ended with status $rc (see $dir.chromium.log)" >&2; return 1; }
  qinghe_chromium__check_released "$dir"
}

qinghe_chromium_make_profile() {
  local dir f
  dir=$(qinghe_chromium__absdir "$1")
  if [ -e "$dir" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
    echo "refusing to make a profile in non-empty $dir" >&2
    return 1
  fi
  mkdir -p "$dir"
  qinghe_chromium_run "$dir" || return 1
  for f in "Local State" "Default/Preferences" "Default/Secure Preferences"; do
    [ -s "$dir/$f" ] || { echo "chromium did not write $dir/$f" >&2; return 1; }
  done
}

# Sets the four start-page preferences through chrome://settings: the page's
# own chrome.settingsPrivate.setPref, the call the settings page makes when a
# user changes them. The browser stores the values and their protection
# entries itself. The DevTools protocol runs over --remote-debugging-pipe
# (file descriptors 3 and 4), so no port is opened.
qinghe_chromium_hijack() {
  local dir url rc=0
  dir=$(qinghe_chromium__absdir "$1")
  url=$2
  [ -s "$dir/Default/Preferences" ] || { echo "no profile in $dir" >&2; return 1; }
  {
    echo "=== qinghe_chromium_hijack $dir $url ($(date -u +%FT%TZ))"
    python3 - "$dir" "$url" 3<&- 4<&- <<'PY' || rc=$?
import json, os, select, subprocess, sys, time

ud, url = sys.argv[1], sys.argv[2]
to_r, to_w = os.pipe()
from_r, from_w = os.pipe()

def child_fds():
    a, b = os.dup(to_r), os.dup(from_w)
    os.dup2(a, 3)
    os.dup2(b, 4)

cmd = ['bash', '-c', 'source "$0"; qinghe_chromium__exec "$@"',
       os.environ['QINGHE_CHROMIUM_LIB'], ud,
       '--remote-debugging-pipe', 'about:blank']
browser = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, pass_fds=(3, 4),
                           preexec_fn=child_fds, start_new_session=True)
os.close(to_r)
os.close(from_w)
buf = b''
next_id = 0

def call(method, params=None, session=None, timeout=30):
    global buf, next_id
    next_id += 1
    msg = {'id': next_id, 'method': method, 'params': params or {}}
    if session:
        msg['sessionId'] = session
    os.write(to_w, json.dumps(msg).encode() + b'\0')
    end = time.time() + timeout
    while True:
        while b'\0' in buf:
            raw, buf = buf.split(b'\0', 1)
            reply = json.loads(raw)
            if reply.get('id') == next_id:
                if 'error' in reply:
                    raise SystemExit('%s failed: %s' % (method, reply['error']))
                return reply['result']
        ready, _, _ = select.select([from_r], [], [], max(0, end - time.time()))
        if not ready:
            raise SystemExit('no answer to ' + method)
        data = os.read(from_r, 65536)
        if not data:
            raise SystemExit('browser closed the pipe during ' + method)
        buf += data

def evaluate(expr, session):
    r = call('Runtime.evaluate', {'expression': expr, 'awaitPromise': True,
                                  'returnByValue': True}, session)
    if 'exceptionDetails' in r:
        raise SystemExit('page error: %s' % r['exceptionDetails'])
    return r['result'].get('value')

try:
    pages = [t for t in call('Target.getTargets')['targetInfos'] if t['type'] == 'page']
    session = call('Target.attachToTarget', {'targetId': pages[0]['targetId'],
                                             'flatten': True})['sessionId']
    call('Page.navigate', {'url': 'chrome://settings/onStartup'}, session)
    for _ in range(100):
        if evaluate('typeof chrome !== "undefined" && !!chrome.settingsPrivate '
                    '&& document.readyState === "complete"', session):
            break
        time.sleep(0.1)
    else:
        raise SystemExit('chrome://settings did not load')
    wanted = [('homepage', url), ('homepage_is_newtabpage', False),
              ('session.restore_on_startup', 4), ('session.startup_urls', [url])]
    for name, value in wanted:
        ok = evaluate('chrome.settingsPrivate.setPref(%s, %s, "")'
                      % (json.dumps(name), json.dumps(value)), session)
        if ok is not True:
            raise SystemExit('settingsPrivate.setPref(%s) returned %r' % (name, ok))
    got = evaluate('Promise.all(%s.map(n => chrome.settingsPrivate.getPref(n)))'
                   '.then(a => a.map(p => p.value))'
                   % json.dumps([n for n, _ in wanted]), session)
    # The page stores the home page after its own URL fix-up (for instance
    # '<' becomes %3C); the other values must come back unchanged.
    if got[1:] != [v for _, v in wanted][1:] or not isinstance(got[0], str):
        raise SystemExit('settings page reads back %r' % got)
    print('settings page now holds', json.dumps(dict(zip([n for n, _ in wanted], got))))
    with open(ud + '.hijack.json', 'w') as out:
        json.dump(dict(zip([n for n, _ in wanted], got)), out)
finally:
    try:
        call('Browser.close', timeout=10)
    except BaseException as e:
        print('Browser.close:', e)
    try:
        status = browser.wait(timeout=60)
    except subprocess.TimeoutExpired:
        os.killpg(browser.pid, 9)
        status = browser.wait()
print('browser exit status', status)
sys.exit(1 if status else 0)
PY
    echo "=== exit status $rc"
  } >>"$dir.chromium.log" 2>&1
  [ "$rc" -eq 0 ] || { echo "setting the start pages in $dir failed (see $dir.chromium.log)" >&2; return 1; }
  qinghe_chromium__check_released "$dir" || return 1
  # The browser must have written the values and, beside them in the same
  # file, a MAC and an encrypted hash for each.
  qinghe_chromium_pref_state "$dir" | python3 -c '
import json, sys
state = json.load(sys.stdin)
want = json.load(open(sys.argv[1]))
bad = [n for n, v in want.items()
       if state["prefs"][n]["value"] != v or not state["prefs"][n]["mac"]
       or not state["prefs"][n]["encrypted_hash"]]
if bad:
    sys.exit("after the settings page, not stored with protection entries: %s\n%s"
             % (bad, json.dumps(state, indent=1)))
' "$dir.hijack.json"
}

# Prints a JSON object:
#   prefs.<name>: file (the profile file holding the value, or the one holding
#     its MAC when the value is absent, or null), value (null when absent),
#     mac (the stored MAC or null), mac_matches (whether the MAC equals
#     HMAC-SHA256 with an empty key over name + value, the MAC of a Linux
#     Chromium build without Google's seed), encrypted_hash (stored or null)
#   secure_keys: the top-level keys of Secure Preferences
#   preference_reset_time, tracked_preferences_reset: the browser's reset
#     records (prefs.preference_reset_time, prefs.tracked_preferences_reset)
#     from either file, or null
qinghe_chromium_pref_state() {
  local dir
  dir=$(qinghe_chromium__absdir "$1")
  # shellcheck disable=SC2086  # the names are one word each
  python3 - "$dir" $qinghe_chromium_tracked_names <<'PY'
import hashlib, hmac, json, os, sys

dir, names = sys.argv[1], sys.argv[2:]
files = {}
for name in ('Preferences', 'Secure Preferences'):
    path = os.path.join(dir, 'Default', name)
    files[name] = json.load(open(path, encoding='utf-8')) if os.path.exists(path) else {}

def find(d, dotted):
    for part in dotted.split('.'):
        if not isinstance(d, dict) or part not in d:
            return None
        d = d[part]
    return d

def chromium_json(v):
    # base::JSONWriter's form: no spaces; '<', U+2028, U+2029 and control
    # characters escaped as \uXXXX; other text as UTF-8.
    if v is None: return 'null'
    if v is True: return 'true'
    if v is False: return 'false'
    if isinstance(v, int): return str(v)
    if isinstance(v, str):
        out = []
        for c in v:
            if c in '"\\': out.append('\\' + c)
            elif c == '\n': out.append('\\n')
            elif c == '\r': out.append('\\r')
            elif c == '\t': out.append('\\t')
            elif c == '\b': out.append('\\b')
            elif c == '\f': out.append('\\f')
            elif ord(c) < 0x20 or c in '<\u2028\u2029': out.append('\\u%04X' % ord(c))
            else: out.append(c)
        return '"' + ''.join(out) + '"'
    if isinstance(v, list): return '[' + ','.join(chromium_json(x) for x in v) + ']'
    raise ValueError('value of a kind the start-page preferences never hold')

def mac_of(name, value):
    text = name + ('' if value is None else chromium_json(value))
    return hmac.new(b'', text.encode('utf-8'), hashlib.sha256).hexdigest().upper()

state = {'prefs': {}}
for name in names:
    entry = {'file': None, 'value': None, 'mac': None, 'mac_matches': None,
             'encrypted_hash': None}
    for fname, content in files.items():
        if find(content, name) is not None:
            entry['file'], entry['value'] = fname, find(content, name)
    for fname, content in files.items():
        macs = find(content, 'protection.macs') or {}
        mac = find(macs, name)
        if isinstance(mac, str) and (entry['file'] in (None, fname)):
            entry['file'] = fname
            entry['mac'] = mac
            entry['encrypted_hash'] = find(macs, name + '_encrypted_hash')
            entry['mac_matches'] = (mac == mac_of(name, entry['value']))
    state['prefs'][name] = entry
state['secure_keys'] = sorted(files['Secure Preferences'].keys())
for key in ('prefs.preference_reset_time', 'prefs.tracked_preferences_reset'):
    found = None
    for content in files.values():
        if find(content, key) is not None:
            found = find(content, key)
    state[key.split('.', 1)[1]] = found
json.dump(state, sys.stdout, indent=1)
print()
PY
}

QINGHE_CHROMIUM_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")
export QINGHE_CHROMIUM_LIB QINGHE_CHROMIUM_ENFORCE QINGHE_CHROMIUM_TIMEOUT
[ -z "${QINGHE_CHROMIUM_BIN:-}" ] || export QINGHE_CHROMIUM_BIN
