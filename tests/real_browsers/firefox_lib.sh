# shellcheck shell=bash
# Real-Firefox helpers for qinghe's tests (source this file; bash only).
#
# Every function drives the installed Firefox itself (firefox-esr, or
# firefox) headless, on a throwaway HOME, so the files examined are the
# files Firefox wrote.  Nothing here touches the user's own profiles, the
# Firefox install folder or ~/.wine.  See docs/firefox-profiles.md
# for the sources behind each step.
#
#   qinghe_firefox_make_profile DIR
#       Creates a real profile at DIR (-CreateProfile "name DIR", then two
#       headless runs so Firefox writes DIR/prefs.js and finishes its
#       first-run migrations).  DIR must not exist or be empty.
#   qinghe_firefox_run DIR
#       Starts Firefox headless on DIR and lets it exit by itself
#       (--screenshot of about:blank), and makes sure Firefox rewrote
#       DIR/prefs.js on the way out (below).  Returns Firefox's exit status,
#       or 1 when Firefox saved nothing; the run's stderr is kept
#       (qinghe_firefox_last_log DIR).
#   qinghe_firefox_hijack DIR URL
#       What a bundled installer does: writes browser.startup.homepage=URL
#       and browser.startup.page=1 into DIR/user.js (replacing only earlier
#       lines for those two names, keeping the rest), runs Firefox, and
#       checks that Firefox itself wrote the home page into prefs.js.  The
#       user.js stays, so Firefox re-applies it at every start.
#   qinghe_firefox_pref DIR NAME
#       The pref's value as Firefox last saved it: DIR/prefs.js is parsed
#       with the grammar of Firefox's own parser (modules/libpref/parser).
#       Exit 0 and the value on stdout when prefs.js holds a user value;
#       exit 2 and nothing on stdout when it holds none (Firefox saves only
#       values that differ from the default, so the pref is at its default);
#       exit 1 when there is no prefs.js.  Only meaningful while Firefox is
#       not running on DIR (call it after qinghe_firefox_run).
#   qinghe_firefox_pref_live DIR NAME...
#       Asks a running Firefox: starts it on DIR with Marionette, reads each
#       pref through Services.prefs (value, has-user-value, locked, default)
#       and quits.  One JSON object per call on stdout.  Costs a full browser
#       session: Firefox runs its ordinary startup tasks, which add their own
#       prefs to prefs.js.  The remote agent's "recommended preferences" are
#       put back before quitting so they are not saved.  Use it as a cross-
#       check, not between before/after comparisons.
#   qinghe_firefox_profile_in_use DIR
#       Exit 0 when another process holds Firefox's lock on DIR (Linux: an
#       fcntl lock on DIR/.parentlock), 1 when not.
#   qinghe_firefox_last_log DIR
#       Prints the stderr of the last qinghe_firefox_run on DIR.
#
# Settings (environment): QINGHE_FIREFOX (the program), QINGHE_FIREFOX_TIMEOUT
# (seconds per run, default 120).  The throwaway HOME of profile DIR is
# DIR.home (created next to it).

# This folder, where the Marionette client (marionette_session.py) lies.
_QINGHE_REAL_BROWSERS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

_qinghe_firefox_program() {
    if [[ -n "${QINGHE_FIREFOX:-}" ]]; then
        printf '%s\n' "$QINGHE_FIREFOX"
    elif command -v firefox-esr >/dev/null 2>&1; then
        command -v firefox-esr
    elif command -v firefox >/dev/null 2>&1; then
        command -v firefox
    else
        echo "qinghe_firefox: no firefox-esr or firefox on PATH" >&2
        return 1
    fi
}

_qinghe_firefox_abs() {
    python3 -c 'import os,sys; print(os.path.abspath(sys.argv[1]))' "$1"
}

# Fills _QINGHE_FF_CMD with the command that runs Firefox with the profile's
# throwaway HOME; extra arguments follow.  Run as "${_QINGHE_FF_CMD[@]}": env
# and timeout exec, so a background job's $! is the timeout process.
_qinghe_firefox_cmd() {
    local dir="$1"; shift
    local program home
    program="$(_qinghe_firefox_program)" || return 1
    home="${dir}.home"
    mkdir -p "$home" || return 1
    _QINGHE_FF_CMD=(env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME
        -u XDG_STATE_HOME -u MOZ_MARIONETTE
        HOME="$home" MOZ_CRASHREPORTER_DISABLE=1 MOZ_CRASHREPORTER=0
        timeout --kill-after=10 "${QINGHE_FIREFOX_TIMEOUT:-120}"
        "$program" --headless --no-remote "$@")
}

_qinghe_firefox_exec() {
    _qinghe_firefox_cmd "$@" || return 1
    "${_QINGHE_FF_CMD[@]}"
}

qinghe_firefox_last_log() {
    local dir
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    cat "${dir}.home/last-run.log"
}

# Waits until no process has DIR as its --profile (a child may outlive the
# parent by a moment).
_qinghe_firefox_wait_gone() {
    local dir="$1" _
    for _ in $(seq 1 50); do
        if ! pgrep -f -- "--profile ${dir}( |\$)" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.2
    done
    echo "qinghe_firefox: a Firefox process is still running on $dir" >&2
    return 1
}

qinghe_firefox_profile_in_use() {
    local dir
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    python3 - "$dir" <<'PY'
import errno, fcntl, os, sys
path = os.path.join(sys.argv[1], ".parentlock")
try:
    fd = os.open(path, os.O_RDWR)
except FileNotFoundError:
    sys.exit(1)
try:
    # Firefox takes a whole-file write lock (nsProfileLock::LockWithFcntl).
    fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
except OSError as e:
    if e.errno in (errno.EACCES, errno.EAGAIN):
        sys.exit(0)
    raise
fcntl.lockf(fd, fcntl.LOCK_UN)
sys.exit(1)
PY
}

# Firefox saves prefs.js on exit only when a pref changed while it ran:
# InitializeUserPrefs reads prefs.js, then user.js, then marks the prefs
# clean.  In a short run the one pref that changes is
# toolkit.startup.last_success, the second the run's main() started
# (nsAppStartup::TrackStartupCrashEnd, at quit-application-granted).  A run
# starting within the second prefs.js already records changes nothing and
# saves nothing: what user.js set never reaches prefs.js, and prefs.js stays
# as someone else left it.  So a run starts only once the clock has passed
# that second, and counts only when that pref moved.
_qinghe_firefox_last_start() {
    local value
    value="$(qinghe_firefox_pref "$1" toolkit.startup.last_success 2>/dev/null)"
    if [[ "$value" =~ ^[0-9]+$ ]]; then printf '%s\n' "$value"; fi
}

_qinghe_firefox_wait_past() {
    local second="$1" _
    [[ -z "$second" ]] && return 0
    # A few seconds at most: a later time means the clock went back.
    for _ in $(seq 1 100); do
        (( $(date +%s) > second )) && return 0
        sleep 0.05
    done
    echo "qinghe_firefox: prefs.js records a start at $second, later than the clock ($(date +%s))" >&2
    return 1
}

qinghe_firefox_run() {
    local dir rc before after
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    if [[ ! -d "$dir" ]]; then
        echo "qinghe_firefox_run: no profile folder $dir" >&2
        return 1
    fi
    if qinghe_firefox_profile_in_use "$dir"; then
        echo "qinghe_firefox_run: $dir is in use by another Firefox" >&2
        return 1
    fi
    mkdir -p "${dir}.home" || return 1
    before="$(_qinghe_firefox_last_start "$dir")"
    _qinghe_firefox_wait_past "$before" || return 1
    _qinghe_firefox_exec "$dir" --profile "$dir" \
        --screenshot "${dir}.home/screenshot.png" about:blank \
        >"${dir}.home/last-run.log" 2>&1
    rc=$?
    _qinghe_firefox_wait_gone "$dir" || return 1
    [[ $rc -ne 0 ]] && return "$rc"
    after="$(_qinghe_firefox_last_start "$dir")"
    if [[ -z "$after" || ( -n "$before" && "$after" -le "$before" ) ]]; then
        echo "qinghe_firefox_run: Firefox did not save $dir/prefs.js on its way out" \
            "(toolkit.startup.last_success ${before:-none} -> ${after:-none})" >&2
        return 1
    fi
    return 0
}

qinghe_firefox_make_profile() {
    local dir name home rc
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    if [[ -e "$dir" ]] && [[ -n "$(ls -A "$dir" 2>/dev/null)" ]]; then
        echo "qinghe_firefox_make_profile: $dir exists and is not empty" >&2
        return 1
    fi
    mkdir -p "$(dirname "$dir")" || return 1
    home="${dir}.home"
    mkdir -p "$home" || return 1
    name="qinghe-$(basename "$dir" | tr -c 'A-Za-z0-9._-' '_')"
    _qinghe_firefox_exec "$dir" -CreateProfile "$name $dir" \
        >"${home}/create.log" 2>&1
    rc=$?
    if [[ $rc -ne 0 || ! -d "$dir" ]]; then
        echo "qinghe_firefox_make_profile: -CreateProfile failed ($rc)" >&2
        cat "${home}/create.log" >&2
        return 1
    fi
    # The profile service recorded it in the throwaway HOME's profiles.ini.
    if ! grep -rqsF "Path=$dir" "$home"/.mozilla "$home"/.config 2>/dev/null; then
        echo "qinghe_firefox_make_profile: profiles.ini does not list $dir" >&2
        return 1
    fi
    # Two runs: the first writes prefs.js and does first-run migrations; the
    # second settles them, so later runs only change their own timestamps.
    qinghe_firefox_run "$dir" || {
        echo "qinghe_firefox_make_profile: first run failed" >&2
        qinghe_firefox_last_log "$dir" >&2
        return 1
    }
    qinghe_firefox_run "$dir" || {
        echo "qinghe_firefox_make_profile: second run failed" >&2
        qinghe_firefox_last_log "$dir" >&2
        return 1
    }
    if ! head -n 1 "$dir/prefs.js" 2>/dev/null \
            | grep -qF '// Mozilla User Preferences'; then
        echo "qinghe_firefox_make_profile: Firefox wrote no prefs.js in $dir" >&2
        return 1
    fi
    return 0
}

# The prefs-file reader and writer shared by the functions below.  The
# grammar follows modules/libpref/parser/src/lib.rs: user_pref("name",
# value); strings in ' or " with \" \' \\ \n \r \xNN \uNNNN escapes; # // and
# /* */ comments; on a syntax error skip to the next ';'.
_QINGHE_FIREFOX_PREFS_PY='
import re, sys

class ParseError(Exception):
    pass

def tokens(data):
    i, n = 0, len(data)
    while i < n:
        c = data[i]
        if c in " \t\v\f\r\n":
            i += 1
        elif c == "#" or data.startswith("//", i):
            while i < n and data[i] not in "\r\n":
                i += 1
        elif data.startswith("/*", i):
            j = data.find("*/", i + 2)
            if j < 0:
                yield ("error", "unterminated comment", i, n)
                return
            i = j + 2
        elif c in "()+,-;":
            yield ("char", c, i, i + 1)
            i += 1
        elif c in "\"\x27":
            j = i + 1
            out = bytearray()
            bad = None
            while True:
                if j >= n:
                    bad = "unterminated string"
                    break
                d = data[j]
                if d == c:
                    j += 1
                    break
                if d == "\\":
                    e = data[j + 1:j + 2]
                    if e in ("\"", "\x27", "\\"):
                        out += e.encode(); j += 2
                    elif e == "n":
                        out += b"\n"; j += 2
                    elif e == "r":
                        out += b"\r"; j += 2
                    elif e == "x" and re.fullmatch("[0-9A-Fa-f]{2}", data[j + 2:j + 4] or "-"):
                        v = int(data[j + 2:j + 4], 16)
                        if v == 0:
                            bad = bad or "x00"
                        out.append(v); j += 4
                    elif e == "u" and re.fullmatch("[0-9A-Fa-f]{4}", data[j + 2:j + 6] or "-"):
                        v = int(data[j + 2:j + 6], 16); j += 6
                        if 0xD800 <= v < 0xDC00:
                            m = re.match(r"\\u([dD][c-fC-F][0-9A-Fa-f]{2})", data[j:j + 6])
                            if not m:
                                bad = bad or "lone high surrogate"
                                continue
                            lo = int(m.group(1), 16); j += 6
                            v = 0x10000 + ((v - 0xD800) << 10) + (lo - 0xDC00)
                        elif 0xDC00 <= v < 0xE000 or v == 0:
                            bad = bad or "bad \\u"
                            continue
                        out += chr(v).encode("utf-8")
                    else:
                        bad = bad or "bad escape"
                        j += 2
                else:
                    out += d.encode("utf-8", "surrogateescape"); j += 1
            if bad:
                yield ("error", bad, i, j)
            else:
                yield ("string", bytes(out), i, j)
            i = j
        elif c.isdigit():
            j = i
            while j < n and data[j].isdigit():
                j += 1
            if j < n and (data[j].isalpha() or data[j] == "_"):
                yield ("error", "bad integer", i, j)
            else:
                yield ("int", int(data[i:j]), i, j)
            i = j
        elif c.isalpha() or c == "_":
            j = i
            while j < n and (data[j].isalpha() or data[j] == "_"):
                j += 1
            yield ("word", data[i:j], i, j)
            i = j
        else:
            yield ("error", "unexpected character", i, i + 1)
            i += 1

def parse(data):
    """Returns [(name_bytes, kind, value, start, end)] for each valid
    user_pref statement, start/end being character offsets."""
    out = []
    toks = list(tokens(data))
    k = 0
    while k < len(toks):
        start = toks[k][2]
        def skip():
            nonlocal k
            while k < len(toks) and toks[k][:2] != ("char", ";"):
                k += 1
            k += 1
        t = toks[k]
        if t[:2] != ("word", "user_pref"):
            skip(); continue
        seq = toks[k + 1:k + 8]
        if len(seq) < 5 or seq[0][:2] != ("char", "(") or seq[1][0] != "string" or seq[2][:2] != ("char", ","):
            skip(); continue
        v = seq[3]
        rest = 4
        if v[0] == "word" and v[1] in ("true", "false"):
            kind, value = "bool", v[1] == "true"
        elif v[0] == "string":
            kind, value = "string", v[1]
        elif v[0] == "int" and v[1] <= 2147483647:
            kind, value = "int", v[1]
        elif v[0] == "char" and v[1] in "+-" and len(seq) > 5 and seq[4][0] == "int":
            num = seq[4][1] if v[1] == "+" else -seq[4][1]
            if not -2147483648 <= num <= 2147483647:
                skip(); continue
            kind, value, rest = "int", num, 5
        else:
            skip(); continue
        if len(seq) <= rest + 1 or seq[rest][:2] != ("char", ")") or seq[rest + 1][:2] != ("char", ";"):
            skip(); continue
        out.append((seq[1][1], kind, value, start, seq[rest + 1][3]))
        k += 1 + rest + 2
    return out

def read(path):
    with open(path, "rb") as f:
        raw = f.read()
    return raw.decode("utf-8", "surrogateescape")

def show(kind, value):
    if kind == "bool":
        return "true" if value else "false"
    if kind == "int":
        return str(value)
    return value.decode("utf-8", "surrogateescape")

def quote(text):
    """A string literal Firefox reads back as text (UTF-8 kept raw, as
    Firefox writes it; control characters as \\xNN)."""
    out = ["\""]
    for ch in text:
        if ch == "\\": out.append("\\\\")
        elif ch == "\"": out.append("\\\"")
        elif ch == "\n": out.append("\\n")
        elif ch == "\r": out.append("\\r")
        elif ord(ch) < 0x20:
            if ord(ch) == 0:
                raise ValueError("NUL cannot be stored in a pref")
            out.append("\\x%02x" % ord(ch))
        else: out.append(ch)
    out.append("\"")
    return "".join(out)
'

qinghe_firefox_pref() {
    local dir
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    python3 -c "${_QINGHE_FIREFOX_PREFS_PY}$(cat <<'PY'
import os
path, name = sys.argv[1], sys.argv[2].encode("utf-8")
if not os.path.isfile(path):
    print("qinghe_firefox_pref: no " + path, file=sys.stderr)
    sys.exit(1)
found = None
for n, kind, value, _s, _e in parse(read(path)):
    if n == name:
        found = (kind, value)        # a later line overrides an earlier one
if found is None:
    sys.exit(2)
sys.stdout.buffer.write(show(*found).encode("utf-8", "surrogateescape") + b"\n")
PY
)" "$dir/prefs.js" "$2"
}

# Writes or replaces user_pref lines in a prefs-format file.
# Usage: _qinghe_firefox_set_user_prefs FILE NAME KIND VALUE [NAME KIND VALUE]...
# KIND is string, int or bool.  Other lines are kept byte for byte.
_qinghe_firefox_set_user_prefs() {
    python3 -c "${_QINGHE_FIREFOX_PREFS_PY}$(cat <<'PY'
import os
path, args = sys.argv[1], sys.argv[2:]
wanted = []
for i in range(0, len(args), 3):
    name, kind, value = args[i:i + 3]
    if kind == "string":
        literal = quote(value)
    elif kind == "int":
        literal = str(int(value))
    elif kind == "bool":
        assert value in ("true", "false"), value
        literal = value
    else:
        raise SystemExit("bad kind " + kind)
    wanted.append((name, "user_pref(%s, %s);" % (quote(name), literal)))
text = read(path) if os.path.exists(path) else ""
names = {n.encode("utf-8") for n, _ in wanted}
drop = [(s, e) for n, _k, _v, s, e in parse(text) if n in names]
for s, e in reversed(drop):
    # Remove the statement and, when it was alone on its line, the line.
    ls = text.rfind("\n", 0, s) + 1
    le = text.find("\n", e)
    le = len(text) if le < 0 else le + 1
    if text[ls:s].strip() == "" and text[e:le].strip() == "":
        text = text[:ls] + text[le:]
    else:
        text = text[:s] + text[e:]
if text and not text.endswith("\n"):
    text += "\n"
text += "".join(line + "\n" for _n, line in wanted)
with open(path, "wb") as f:
    f.write(text.encode("utf-8", "surrogateescape"))
PY
)" "$@"
}

qinghe_firefox_hijack() {
    local dir url got rc
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    url="$2"
    if [[ ! -f "$dir/prefs.js" ]]; then
        echo "qinghe_firefox_hijack: $dir is not a profile Firefox has run" >&2
        return 1
    fi
    _qinghe_firefox_set_user_prefs "$dir/user.js" \
        browser.startup.homepage string "$url" \
        browser.startup.page int 1 || return 1
    qinghe_firefox_run "$dir" || {
        echo "qinghe_firefox_hijack: Firefox run failed" >&2
        qinghe_firefox_last_log "$dir" >&2
        return 1
    }
    if grep -q 'prefs parse error' "${dir}.home/last-run.log"; then
        echo "qinghe_firefox_hijack: Firefox rejected a prefs file" >&2
        qinghe_firefox_last_log "$dir" >&2
        return 1
    fi
    got="$(qinghe_firefox_pref "$dir" browser.startup.homepage)"
    if [[ "$got" != "$url" ]]; then
        echo "qinghe_firefox_hijack: prefs.js holds home page '$got', not '$url'" >&2
        return 1
    fi
    # browser.startup.page=1 is Firefox's default: Firefox saves no line for
    # it (a user's earlier choice, e.g. 3, is dropped), so "no line" is the
    # hijacked state too.
    got="$(qinghe_firefox_pref "$dir" browser.startup.page)"
    rc=$?
    if [[ $rc -eq 0 && "$got" != 1 ]]; then
        echo "qinghe_firefox_hijack: prefs.js holds browser.startup.page=$got" >&2
        return 1
    fi
    return 0
}

qinghe_firefox_pref_live() {
    local dir lock port_free rc
    dir="$(_qinghe_firefox_abs "$1")" || return 1
    shift
    if qinghe_firefox_profile_in_use "$dir"; then
        echo "qinghe_firefox_pref_live: $dir is in use" >&2
        return 1
    fi
    lock="${dir}.home/marionette.lock"
    mkdir -p "${dir}.home" || return 1
    (
        flock 9
        # Marionette listens on its default port, 2828; refuse if something
        # already answers there.
        port_free="$(python3 -c '
import socket
s = socket.socket()
s.settimeout(2)
try:
    s.connect(("127.0.0.1", 2828)); print("no")
except OSError:
    print("yes")
finally:
    s.close()')"
        if [[ "$port_free" != yes ]]; then
            echo "qinghe_firefox_pref_live: port 2828 is taken" >&2
            exit 1
        fi
        _qinghe_firefox_cmd "$dir" --marionette -remote-allow-system-access \
            --profile "$dir" || exit 1
        "${_QINGHE_FF_CMD[@]}" >"${dir}.home/live-run.log" 2>&1 &
        local ff=$!
        PYTHONPATH="$_QINGHE_REAL_BROWSERS" python3 - "$@" <<'PY'
import json, sys
from marionette_session import connect, quit_firefox
cmd = connect(2828)
script = """
// Put back the prefs the remote agent set for automation, so they are
// neither reported nor saved.
const { RecommendedPreferences } = ChromeUtils.importESModule(
  "chrome://remote/content/shared/RecommendedPreferences.sys.mjs");
RecommendedPreferences.restoreAllPreferences();
const P = Services.prefs, out = {};
for (const name of arguments[0]) {
  const t = P.getPrefType(name);
  const get = b => t == P.PREF_STRING ? b.getStringPref(name)
                 : t == P.PREF_INT ? b.getIntPref(name)
                 : t == P.PREF_BOOL ? b.getBoolPref(name) : null;
  let def = null;
  try { def = get(P.getDefaultBranch("")); } catch (e) {}
  out[name] = { value: t ? get(P) : null, user: P.prefHasUserValue(name),
                locked: P.prefIsLocked(name), default: def };
}
return out;
"""
result = cmd("WebDriver:ExecuteScript", {"script": script, "args": [sys.argv[1:]]})
print(json.dumps(result["value"], ensure_ascii=False, sort_keys=True))
quit_firefox(cmd)
PY
        rc=$?
        if [[ $rc -ne 0 ]]; then
            kill "$ff" 2>/dev/null   # the timeout wrapper we started
        fi
        wait "$ff" || rc=1
        _qinghe_firefox_wait_gone "$dir" || rc=1
        exit "$rc"
    ) 9>"$lock"
}
