# Wine's reg.exe for the shell tests (sourced after wine-lib.sh).

# reg.exe, asked again when it crashes (as it has been seen to under load),
# its listing converted from the console's GBK. Its status otherwise: 0 done
# or found, 1 not there.
reg_exe() {
  local status attempt
  for attempt in 1 2 3; do
    set +e
    wine reg "$@" 2>/dev/null | tr -d '\r' | iconv -f GBK -t UTF-8
    status=${PIPESTATUS[0]}
    set -e
    [ "$status" -le 1 ] && return "$status"
  done
  echo "reg $* failed: $status" >&2
  return 2
}

# Adds a value in every view the caller's `views` array names.
put() {
  local view
  for view in "${views[@]}"; do reg_exe add "$@" /f "$view" >/dev/null; done
}

# The keys given, in each view the caller's `views` array names, as reg.exe
# lists them: one line per key and per value, led by the view and its key,
# sorted (an undo may give a key's values back in another order).
reg_listing() {
  local view key
  for view in "${views[@]}"; do
    for key in "$@"; do
      { reg_exe query "$key" /s "$view" || true; } | awk -v view="$view" '
        /^HKEY_/ { key = $0; print view " " key; next }
        /^    / { print view " " key " |" $0 }' | LC_ALL=C sort
    done
  done
}

# A value's type and data in one view (KEY NAME VIEW), or "absent".
reg_value() {
  local out
  out=$(reg_exe query "$1" /v "$2" "$3" || true)
  out=$(grep -E "^    $2 " <<<"$out" | sed -E "s/^    $2 +//") || true
  echo "${out:-absent}"
}

# Whether a key is there in a view (KEY VIEW).
reg_has_key() { reg_exe query "$1" "$2" >/dev/null; }
