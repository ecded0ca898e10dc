# Named checks for the tests' shell scripts, to be sourced by bash.
#
#   check NAME COMMAND...   runs the command; its status is the check's result,
#                           printed as "ok - NAME" or "not ok - NAME"; status
#                           77 is "skipped - NAME" (the command has said why,
#                           with skip)
#   skip WHAT REASON        says that WHAT cannot run on this machine, and why:
#                           "skipped - WHAT: REASON"; when QUELVARO_SKIPS names
#                           a file (the test command's), the line goes there
#                           too, and from there into the test command's verdict
#   why_not_installed PKG   prints "PKG is not installed", and why where the
#                           test command's install-packages could not install
#                           it (its QUELVARO_NOT_INSTALLED file): a skip's
#                           reason, with the true cause
#   checks_summary          prints "N passed, N failed" (and "N skipped");
#                           fails when any failed
#
# CHECK_PREFIX, when set, stands before every name.

passed=0
failed=0
skipped=0

check() {
  local name="${CHECK_PREFIX:-}$1"
  shift
  local status=0
  "$@" || status=$?
  if [[ $status -eq 0 ]]; then
    echo "ok - $name"
    passed=$((passed + 1))
  elif [[ $status -eq 77 ]]; then
    echo "skipped - $name"
    skipped=$((skipped + 1))
  else
    echo "not ok - $name"
    failed=$((failed + 1))
  fi
  return "$status"
}

skip() {
  echo "skipped - $1: $2"
  skipped=$((skipped + 1))
  if [[ -n "${QUELVARO_SKIPS:-}" ]]; then echo "$1: $2" >>"$QUELVARO_SKIPS"; fi
}

why_not_installed() {
  local why=""
  if [[ -n "${QUELVARO_NOT_INSTALLED:-}" && -f "$QUELVARO_NOT_INSTALLED" ]]; then
    why=$(awk -F'\t' -v pkg="$1" '$1 == pkg { print $2; exit }' "$QUELVARO_NOT_INSTALLED")
  fi
  echo "$1 is not installed${why:+: $why}"
}

checks_summary() {
  local also=""
  [[ $skipped -eq 0 ]] || also=", $skipped skipped"
  echo "$passed passed, $failed failed$also"
  [[ $failed -eq 0 ]]
}
