# Named checks for the tests' shell scripts, to be sourced by bash.
#
#   check NAME COMMAND...   runs the command; its status is the check's result,
#                           printed as "ok - NAME" or "not ok - NAME"
#   checks_summary          prints "N passed, N failed"; fails when any failed
#
# CHECK_PREFIX, when set, stands before every name.

passed=0
failed=0

check() {
  local name="${CHECK_PREFIX:-}$1"
  shift
  if "$@"; then
    echo "ok - $name"
    passed=$((passed + 1))
  else
    echo "not ok - $name"
    failed=$((failed + 1))
  fi
}

checks_summary() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
}
