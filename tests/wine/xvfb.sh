# A private X server for tests that show windows: qinghe_start_xvfb starts
# Xvfb on a display number it picks itself and exports DISPLAY;
# qinghe_stop_xvfb stops that server (call it from the caller's EXIT trap).
qinghe_start_xvfb() {
  local number_file tries
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  qinghe_xvfb_pid=$!
  for tries in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$number_file")"
  rm -f "$number_file"
  [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
}

qinghe_stop_xvfb() {
  [ -n "${qinghe_xvfb_pid:-}" ] && kill "$qinghe_xvfb_pid" 2>/dev/null
  qinghe_xvfb_pid=
  return 0
}
