# The state of a whole Wine prefix, for tests that hold a run to having
# changed nothing, or an undo to having put everything back (sourced after
# check.sh).

# The whole registry as Wine keeps it, once the server has written it out:
# every key and value of both views, without the times Wine stamps on keys
# and the driver dates its device set-up writes at every start.
#   qinghe_whole_registry PREFIX
qinghe_whole_registry() {
  wineserver -w
  cat "$1"/system.reg "$1"/user.reg "$1"/userdef.reg |
    grep -v -e '^#time=' -e '^"DriverDate' | sed -E 's/^(\[.*\]) [0-9]+$/\1/'
}

# Compares two states, showing at most the first differences.
check_same_state() {
  local what=$1 want=$2 got=$3
  if [ "$want" == "$got" ]; then
    checks_passed=$((checks_passed + 1))
  else
    checks_failed=$((checks_failed + 1))
    echo "FAILED: $what"
    diff <(echo "$want") <(echo "$got") | head -20 | cut -c1-200
  fi
}
