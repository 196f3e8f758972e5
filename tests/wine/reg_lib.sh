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
