# What the judges of both browsers share (sourced): the PASS/FAIL tally, and
# the Python that judges a folder's files before and after a repair, which
# each judge puts at the top of its own script ("$QINGHE_TREE_PY").
# Set JUDGES_NAME before sourcing: it names the summary line.

passed=0 failed=0
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
show() { sed 's/^/      /'; }
finish() {
  echo "$JUDGES_NAME: $passed passed, $failed failed"
  [ "$failed" -eq 0 ] && exit 0
  exit 1
}

# The judge's two arguments: TOOL (the profile_repair binary) and SCRATCH
# (a folder for its files).
judges_arguments() {
  if [[ $# -ne 2 ]]; then
    echo "usage: bash $0 PROFILE_REPAIR_BINARY SCRATCH_DIR" >&2
    exit 2
  fi
  TOOL=$1
  SCRATCH=$2
}

# Once the browser is found: TOOL made absolute and checked, and the work
# folder W made afresh below SCRATCH, named after JUDGES_NAME. Two runs at
# once (two people running ctest in one build tree) would replace each
# other's files: the second waits for the first to give up its lock.
judges_begin() {
  local name=${JUDGES_NAME//_/-}
  [[ "$TOOL" == /* ]] || TOOL="$PWD/$TOOL"
  if [[ ! -x "$TOOL" ]]; then
    fail "no profile_repair binary at $TOOL"
    finish
  fi
  mkdir -p "$SCRATCH"
  exec 7>"$SCRATCH/$name.lock"
  if ! flock -w 540 7; then
    fail "another run kept $SCRATCH/$name.lock for 9 minutes"
    finish
  fi
  W="$SCRATCH/$name"
  rm -rf "$W"
  mkdir -p "$W"
  W=$(cd "$W" && pwd)
}

# Case 1 of both judges, after the check wrote $W/check.log: no file of the
# hijacked profile under ROOT changed ($W/tree.hijacked.json is its tree).
judge_check_changed_nothing() {
  local out
  judge tree "$ROOT" "$W/tree.checked.json"
  if out=$(judge treediff "$W/tree.hijacked.json" "$W/tree.checked.json"); then
    pass "check changed no file"
  else
    fail "check changed files"
    show <<<"$out"
  fi
}

# Case 1: the repair on ROOT, its log in $W/repair.log, says "${WHO}已恢复默认".
judge_repair_reports_restored() {
  "$TOOL" "$ROOT" repair "$USER_URL" >"$W/repair.log" 2>&1
  echo "      repair exit status $?"
  if grep -qxF "${WHO}已恢复默认" <(tr -d '\r' <"$W/repair.log"); then
    pass "repair reports: ${WHO}已恢复默认"
  else
    fail "repair does not report ${WHO}已恢复默认"
    show <"$W/repair.log"
  fi
}

# Case 2 of both judges: with the user's own page in the profile under ROOT,
# neither the check (with the address as typed and as the browser may write
# it) nor the repair names the browser's profile, and no file changes. Uses
# the judge's TOOL, USER_URL, W, REL_BUNDLES and `judge`.
judge_users_own_page() {
  local root=$1 browser=$2 addr out
  judge tree "$root" "$W/tree.user.before.json"
  for addr in "$USER_URL" "https://WWW.User-Home.cn"; do
    "$TOOL" "$root" check "$addr" >"$W/check.user.log" 2>&1
    if grep -qF "浏览器主页：$browser" "$W/check.user.log"; then
      fail "case 2: check with the address '$addr' names the profile"
      grep -F "浏览器主页：$browser" "$W/check.user.log" | show
    else
      pass "case 2: check with the address '$addr' says nothing about the profile"
    fi
  done
  "$TOOL" "$root" repair "$USER_URL" >"$W/repair.user.log" 2>&1
  if grep -qF "浏览器主页：$browser" "$W/repair.user.log"; then
    fail "case 2: repair names the profile"
    grep -F "浏览器主页：$browser" "$W/repair.user.log" | show
  else
    pass "case 2: repair says nothing about the profile"
  fi
  judge tree "$root" "$W/tree.user.after.json"
  if out=$(judge treediff "$W/tree.user.before.json" "$W/tree.user.after.json" "$REL_BUNDLES"); then
    pass "case 2: every file of the profile is byte-identical after check and repair"
  else
    fail "case 2: repair changed the user's own profile"
    show <<<"$out"
  fi
}

# shellcheck disable=SC2034  # used by the judges that source this file
QINGHE_TREE_PY=$(
  cat <<'PY'
import hashlib, json, os, sys

def cmd_tree(root, out):
    """Every regular file and link under root: its SHA-256 or link target."""
    tree = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in filenames + [d for d in dirnames if os.path.islink(os.path.join(dirpath, d))]:
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, root)
            if os.path.islink(full):
                tree[rel] = "link:" + os.readlink(full)
            elif os.path.isfile(full):
                with open(full, "rb") as f:
                    tree[rel] = hashlib.sha256(f.read()).hexdigest()
    with open(out, "w") as f:
        json.dump(tree, f, sort_keys=True)

def cmd_treediff(a, b, *allowed):
    """Files added, removed or changed between two trees, except those at or
    under the allowed relative paths. Exit 1 when there are any."""
    ta, tb = json.load(open(a)), json.load(open(b))
    def ok(rel):
        return any(rel == p or rel.startswith(p.rstrip("/") + "/") for p in allowed)
    bad = []
    for rel in sorted(set(ta) | set(tb)):
        if ta.get(rel) != tb.get(rel) and not ok(rel):
            what = "added" if rel not in ta else "removed" if rel not in tb else "changed"
            bad.append("%s %s" % (what, rel))
    for line in bad:
        print(line)
    sys.exit(1 if bad else 0)

def cmd_changed(a, b):
    """The relative paths that differ between two trees, one a line."""
    ta, tb = json.load(open(a)), json.load(open(b))
    for rel in sorted(set(ta) | set(tb)):
        if ta.get(rel) != tb.get(rel):
            print(rel)
PY
)
