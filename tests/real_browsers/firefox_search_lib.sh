# shell=bash
# Asking a real Firefox about its search engines, for qinghe's tests (source
# after firefox_lib.sh; bash only).
#
#   qinghe_firefox_ask DIR SCRIPT
#       Starts Firefox headless on profile DIR (its throwaway HOME DIR.home)
#       with Marionette on a port of its own choosing (marionette.port 0,
#       which Firefox writes into DIR/MarionetteActivePort), runs SCRIPT in
#       the chrome context as the body of an async function with the search
#       service initialized as S (moz-src:///toolkit/components/search/
#       SearchService.sys.mjs), prints what it returns as JSON and quits
#       Firefox; a Firefox that does not end is killed by its PID.
#   qinghe_firefox_search_hijack DIR NAME URL
#       What a hijacker with a browser session does: adds a user engine NAME
#       searching URL and makes it the default and the private-browsing
#       default (DIR/user.js asks for a separate private default). Firefox
#       itself writes DIR/search.json.mozlz4, ids and hashes included.
#       Prints the default's name as JSON.
# DIR/user.js gets the session's own settings: Marionette's port, and every
# connection sent to a closed local port, so nothing leaves this machine.

_QINGHE_MARIONETTE_PY='
import json, os, socket, sys, time
profile, script = sys.argv[1], sys.argv[2]
deadline = time.time() + 90
while True:
    try:
        port = int(open(os.path.join(profile, "MarionetteActivePort")).read().strip())
        s = socket.create_connection(("127.0.0.1", port), timeout=60)
        break
    except (OSError, ValueError):
        if time.time() > deadline:
            sys.exit("Marionette did not answer")
        time.sleep(0.2)
buf = b""
def recv():
    global buf
    while True:
        if b":" in buf:
            n, rest = buf.split(b":", 1)
            if len(rest) >= int(n):
                buf = rest[int(n):]
                return json.loads(rest[:int(n)])
        chunk = s.recv(65536)
        if not chunk:
            raise EOFError
        buf += chunk
mid = 0
def cmd(name, params):
    global mid
    mid += 1
    data = json.dumps([0, mid, name, params]).encode()
    s.sendall(str(len(data)).encode() + b":" + data)
    while True:
        r = recv()
        if r[0] == 1 and r[1] == mid:
            if r[2]:
                raise RuntimeError(r[2])
            return r[3]
recv()
cmd("WebDriver:NewSession", {"capabilities": {}})
cmd("Marionette:SetContext", {"value": "chrome"})
wrapped = ("const done = arguments[arguments.length - 1];"
           "const { SearchService: S } = ChromeUtils.importESModule("
           "\"moz-src:///toolkit/components/search/SearchService.sys.mjs\");"
           "(async () => { try { await S.init(); done(await (async () => {" + script +
           "})()); } catch (e) { done({ error: String(e) }); } })();")
answer = cmd("WebDriver:ExecuteAsyncScript", {"script": wrapped, "args": []})["value"]
print(json.dumps(answer, ensure_ascii=False, sort_keys=True))
try:
    cmd("Marionette:Quit", {"flags": ["eAttemptQuit"]})
except (EOFError, OSError):
    pass
'

_qinghe_firefox_session_prefs() {
  local file="$1/user.js" line
  for line in 'user_pref("marionette.port", 0);' \
      'user_pref("browser.search.separatePrivateDefault", true);' \
      'user_pref("browser.search.separatePrivateDefault.ui.enabled", true);' \
      'user_pref("network.proxy.type", 1);' \
      'user_pref("network.proxy.http", "127.0.0.1");' \
      'user_pref("network.proxy.http_port", 9);' \
      'user_pref("network.proxy.ssl", "127.0.0.1");' \
      'user_pref("network.proxy.ssl_port", 9);' \
      'user_pref("network.proxy.no_proxies_on", "");' \
      'user_pref("network.dns.disabled", true);'; do
    grep -qxF "$line" "$file" 2>/dev/null || printf '%s\n' "$line" >>"$file"
  done
}

qinghe_firefox_ask() {
  local dir rc ff _
  dir="$(_qinghe_firefox_abs "$1")" || return 1
  _qinghe_firefox_session_prefs "$dir"
  rm -f "$dir/MarionetteActivePort"
  _qinghe_firefox_cmd "$dir" --marionette -remote-allow-system-access --profile "$dir" || return 1
  MOZ_HEADLESS=1 "${_QINGHE_FF_CMD[@]}" >"${dir}.home/marionette-run.log" 2>&1 &
  ff=$!
  python3 -c "$_QINGHE_MARIONETTE_PY" "$dir" "$2"
  rc=$?
  # Asked to quit, Firefox ends by itself; otherwise its timeout wrapper goes.
  for _ in $(seq 1 100); do kill -0 "$ff" 2>/dev/null || break; sleep 0.2; done
  kill "$ff" 2>/dev/null
  wait "$ff" 2>/dev/null
  _qinghe_firefox_wait_gone "$dir" || rc=1
  return "$rc"
}

qinghe_firefox_search_hijack() {
  qinghe_firefox_ask "$1" "
const e = await S.addUserEngine({ name: '$2', url: '$3' });
await S.setDefault(e, S.CHANGE_REASON.USER);
await S.setDefaultPrivate(e, S.CHANGE_REASON.USER);
return (await S.getDefault()).name;"
}

# A mozLz4 file's text, and a text made into one, through the LZ4 library
# itself (liblz4.so.1, by ctypes).
#   qinghe_mozlz4_text FILE        prints the text
#   qinghe_mozlz4_write FILE       writes the frame of the text on stdin
_QINGHE_MOZLZ4_PY='
import ctypes, struct, sys
lz4 = ctypes.CDLL("liblz4.so.1")
if sys.argv[1] == "text":
    data = open(sys.argv[2], "rb").read()
    assert data[:8] == b"mozLz40\0", "no mozLz4 magic"
    size = struct.unpack("<I", data[8:12])[0]
    out = ctypes.create_string_buffer(size)
    got = lz4.LZ4_decompress_safe(data[12:], out, len(data) - 12, size)
    assert got == size, "LZ4 gave %d of %d bytes" % (got, size)
    sys.stdout.buffer.write(out.raw)
else:
    text = sys.stdin.buffer.read()
    room = lz4.LZ4_compressBound(len(text))
    block = ctypes.create_string_buffer(room)
    n = lz4.LZ4_compress_default(text, block, len(text), room)
    open(sys.argv[2], "wb").write(b"mozLz40\0" + struct.pack("<I", len(text)) + block.raw[:n])
'
qinghe_mozlz4_text() { python3 -c "$_QINGHE_MOZLZ4_PY" text "$1"; }
qinghe_mozlz4_write() { python3 -c "$_QINGHE_MOZLZ4_PY" write "$1"; }
