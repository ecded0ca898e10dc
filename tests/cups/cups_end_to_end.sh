#!/usr/bin/env bash
# The native report over CUPS, end to end, against private CUPS servers and
# stand-ins of the test's own:
#
#   cups_end_to_end.sh PROGRAM SPOOLER_TESTS EMPTY_REPORT [address-space]
#
# PROGRAM is the native binary, SPOOLER_TESTS the gtest binary that calls
# its EnumPrintersW directly, EMPTY_REPORT the report of a spooler that
# answers nothing. With "address-space", the reports under a tight limit on
# address space alone (a test of its own: a sanitizer build cannot run it). Every server and listener started here is stopped on
# exit. Prints one line per check and ends with "N passed, N failed".
set -uo pipefail

program=$1
spooler_tests=$2
empty_report=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=private_cups.sh
source "$here/private_cups.sh"

work=$(mktemp -d /tmp/quelvaro-e2e.XXXXXX)
stand_in_pid=

stop_stand_in() {
  if [[ -n "$stand_in_pid" ]]; then
    kill "$stand_in_pid" 2>/dev/null
    wait "$stand_in_pid" 2>/dev/null
    stand_in_pid=
  fi
}

cleanup() {
  stop_stand_in
  cups_stop
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../checks.sh
source "$here/../checks.sh"

# same FILE FILE: the files hold the same bytes; shows the difference if not.
same() {
  if cmp -s "$1" "$2"; then return 0; fi
  diff -u "$1" "$2" | head -40 >&2
  return 1
}

# native_report OUT: the native program's report on the server that the
# environment names, as a user runs it (standard input at its end). Sets
# REPORT_STATUS (exit status) and REPORT_MS (wall time); its error output
# goes to OUT.err.
native_report() {
  local out=$1 start end
  start=$(date +%s%N)
  "$program" </dev/null >"$out" 2>"$out.err"
  REPORT_STATUS=$?
  end=$(date +%s%N)
  REPORT_MS=$(((end - start) / 1000000))
}

# shellcheck source=../report_sections.sh
source "$here/../report_sections.sh"

# lists_exactly REPORT SCOPE LEVEL FILE: the scope lists at that level the
# names in FILE, in that order, and its total says how many.
lists_exactly() {
  local listed="$work/listed"
  entries "$1" "$2" "$3" >"$listed"
  same "$4" "$listed" || return 1
  local count
  count=$(wc -l <"$4")
  if [[ $count -eq 0 ]]; then
    [[ -z "$(total "$1" "$2" "$3")" ]]
  else
    [[ "$(total "$1" "$2" "$3")" == "$count" ]]
  fi
}

# The queues of the server, as lpstat lists them, and those that are shared.
server_queues() { lpstat -e; }
shared_queues() {
  local queue
  while IFS= read -r queue; do
    if lpoptions -p "$queue" | tr ' ' '\n' | grep -qx 'printer-is-shared=true'; then
      echo "$queue"
    fi
  done <"$1"
}

# no_lines_between REPORT FROM TO PATTERN: from the first line matching FROM
# to the next matching TO, no line matches the extended regex PATTERN.
no_lines_between() {
  ! awk -v from="$2" -v to="$3" '
      !on && $0 ~ from { on = 1 }
      on && $0 ~ to && $0 !~ from { exit }
      on { print }' "$1" | grep -Eq "$4"
}

ran_cleanly() {
  [[ $REPORT_STATUS -eq 0 && ! -s "$1.err" ]] || {
    echo "status $REPORT_STATUS, errors: $(cat "$1.err")" >&2
    return 1
  }
}

within() {  # within MILLISECONDS
  [[ $REPORT_MS -lt $1 ]] || { echo "took $REPORT_MS ms" >&2; return 1; }
}

# wait_for_file FILE: a stand-in has written its port (at most 5 s).
wait_for_file() {
  local i
  for i in $(seq 1 50); do
    [[ -s "$1" ]] && return 0
    sleep 0.1
  done
  echo "no $1" >&2
  return 1
}

# ---- A server with the standard queues: Local is what lpstat lists.
test_standard_queues() {
  local report="$work/standard.txt" level
  server_queues >"$work/queues"
  shared_queues "$work/queues" >"$work/shared"
  : >"$work/none"
  native_report "$report"
  check "standard queues: the report runs cleanly" ran_cleanly "$report"
  # The queue set itself must hold what the names are to be tested with.
  check "standard queues: non-ASCII, CJK and emoji names among them" \
    bash -c 'grep -qx "Büro-Drucker" "$1" && grep -qx "打印机" "$1" &&
             grep -qx "Printer🖨Emoji" "$1" && grep -qx "Kasse€2" "$1"' _ \
    "$work/queues"
  for level in 1 2 4 5; do
    check "Local level $level lists what lpstat -e lists, in its order" \
      lists_exactly "$report" Local $level "$work/queues"
    check "Local | Shared level $level lists the shared ones" \
      lists_exactly "$report" "Local | Shared" $level "$work/shared"
    check "Connections level $level lists nothing (no remote queue)" \
      lists_exactly "$report" Connections $level "$work/none"
    check "Network level $level lists nothing" \
      lists_exactly "$report" Network $level "$work/none"
    check "Network | Shared level $level lists nothing" \
      lists_exactly "$report" "Network | Shared" $level "$work/none"
  done
  echo '\\localhost' >"$work/server"
  check "Remote level 1 lists the server" \
    lists_exactly "$report" Remote 1 "$work/server"
  nested "$report" Remote 1 '\\localhost' >"$work/expanded"
  sed 's/^/\\\\localhost\\/' "$work/queues" >"$work/server-queues"
  check "the server's entry expands into its queues, named after it" \
    same "$work/server-queues" "$work/expanded"
  for level in 2 4 5; do
    check "Remote level $level lists nothing" \
      lists_exactly "$report" Remote $level "$work/none"
  done
  check "a queue's name, asked by name, answers nothing" \
    no_lines_between "$report" '^====== Local ======$' '^====== Remote ======$' '^--> '
}

# ---- A remote queue (pointing at a second server's queue) is a connection.
test_remote_queue() {
  local report="$work/remote.txt" level
  cups_add_remote_queue "Fern-Büro" "Far away" || {
    check "a remote queue could be added" false
    return
  }
  server_queues >"$work/all-queues"
  echo "Fern-Büro" >"$work/remote-queues"
  check "lpstat lists the remote queue" grep -qx "Fern-Büro" "$work/all-queues"
  native_report "$report"
  check "remote queue: the report runs cleanly" ran_cleanly "$report"
  for level in 1 2 4 5; do
    check "Connections level $level lists the remote queue" \
      lists_exactly "$report" Connections $level "$work/remote-queues"
    check "Local level $level leaves the remote queue out" \
      lists_exactly "$report" Local $level "$work/queues"
  done
  nested "$report" Remote 1 '\\localhost' >"$work/expanded"
  sed 's/^/\\\\localhost\\/' "$work/all-queues" >"$work/server-queues"
  check "the server's entry expands into all its queues, remote ones too" \
    same "$work/server-queues" "$work/expanded"

  CUPS_ACCESS_LOG="$CUPS_ACCESS_LOG" CUPS_LOCAL_QUEUES="$work/queues" \
    CUPS_REMOTE_QUEUE="Fern-Büro" \
    "$spooler_tests" >"$work/spooler-tests.txt" 2>&1
  local status=$?
  [[ $status -eq 0 ]] || cat "$work/spooler-tests.txt"
  check "EnumPrintersW called directly: records, layout, requests" \
    test $status -eq 0
}

# ---- Nothing listens: nothing is listed, at once.
test_no_server() {
  local report="$work/no-server.txt"
  CUPS_SERVER="$work/no-such.sock" native_report "$report"
  check "no server (socket): the report runs cleanly" ran_cleanly "$report"
  check "no server (socket): nothing listed" same "$empty_report" "$report"
  check "no server (socket): the whole report within 1 s" within 1000

  CUPS_SERVER="127.0.0.1:$(cups_free_port)" native_report "$report"
  check "no server (port): the report runs cleanly" ran_cleanly "$report"
  check "no server (port): nothing listed" same "$empty_report" "$report"
  check "no server (port): the whole report within 1 s" within 1000
}

# ---- A server that takes the connection and never answers.
test_silent_server() {
  local report="$work/silent.txt" dir="$work/silent"
  mkdir -p "$dir"
  python3 "$here/silent_server.py" "$dir" &
  stand_in_pid=$!
  wait_for_file "$dir/port" || { check "silent server started" false; return; }
  CUPS_SERVER="127.0.0.1:$(cat "$dir/port")" native_report "$report"
  stop_stand_in
  check "silent server: the report runs cleanly" ran_cleanly "$report"
  check "silent server: headings, nothing listed" same "$empty_report" "$report"
  check "silent server: the whole report within 15 s" within 15000
  check "silent server: asked once, never again" \
    test "$(cat "$dir/connections" 2>/dev/null)" = 1
  # The run's one question: CUPS-Get-Printers, naming attributes, all of
  # them ones that some level's records or some scope's selection use.
  printf '%s\n' printer-name printer-info printer-make-and-model \
    printer-location device-uri printer-type printer-is-shared \
    printer-state queued-job-count >"$dir/usable"
  check "silent server: the question was CUPS-Get-Printers" \
    test "$(head -1 "$dir/request-1" 2>/dev/null)" = "operation 0x4002"
  check "silent server: it named only attributes the records and scopes use" \
    bash -c 'tail -n +2 "$1" >"$1.asked" && [[ -s "$1.asked" ]] &&
             ! grep -vxFf "$2" "$1.asked"' _ "$dir/request-1" "$dir/usable"
}

# ---- The server goes away in the middle of a run. A run asks once and
# answers everything from that one view: a server gone right after it
# changes nothing in the report; one gone at the first question leaves it
# empty, without a wait per question.
test_stopping_server() {
  local report="$work/stopping.txt" dir="$work/stopping" level
  mkdir -p "$dir"
  # The run's one question is passed through, then the server is gone.
  python3 "$here/stopping_server.py" "$CUPS_PORT" 1 "$dir" &
  stand_in_pid=$!
  wait_for_file "$dir/port" || { check "stopping server started" false; return; }
  CUPS_SERVER="127.0.0.1:$(cat "$dir/port")" native_report "$report"
  stop_stand_in
  check "server gone after the run's question: the report runs cleanly" \
    ran_cleanly "$report"
  for level in 1 2 4 5; do
    check "server gone after the run's question: Local level $level listed whole" \
      lists_exactly "$report" Local $level "$work/queues"
    check "server gone after the run's question: Local | Shared level $level too" \
      lists_exactly "$report" "Local | Shared" $level "$work/shared"
  done

  # The first question is reset.
  dir="$work/stopping-at-once"
  mkdir -p "$dir"
  python3 "$here/stopping_server.py" "$CUPS_PORT" 0 "$dir" &
  stand_in_pid=$!
  wait_for_file "$dir/port" || { check "stopping server started" false; return; }
  CUPS_SERVER="127.0.0.1:$(cat "$dir/port")" native_report "$report"
  stop_stand_in
  check "server gone at the first question: the report runs cleanly" \
    ran_cleanly "$report"
  check "server gone at the first question: headings, nothing listed" \
    same "$empty_report" "$report"
  check "server gone at the first question: the whole report within 15 s" \
    within 15000
}

# ---- Under a tight limit on address space (ulimit -v), over a server with
# many queues, one printing to an SMB server and one to an IPPS one, so that
# libsmbclient and GnuTLS are loaded: either the exact report, or as much of
# it as was written, in whole lines, and a non-zero exit with one line on
# standard error that says why; never a report cut short that ends with 0.
# With room enough the exact report. (The queues stay: this test runs last.)
address_space_report() {  # address_space_report MIB REPORT
  (ulimit -v $(($1 * 1024)) && "$program" </dev/null >"$2" 2>"$2.err")
}

whole_or_said() {  # whole_or_said STATUS REPORT EXACT
  local status=$1 lines
  if [[ $status -eq 0 ]]; then
    same "$3" "$2" && [[ ! -s "$2.err" ]]
    return
  fi
  lines=$(wc -l <"$2")
  # The lines written are the exact report's first ones, each whole; one
  # line of error output, ended as a line.
  head -n "$lines" "$3" | cmp -s - "$2" &&
    { [[ ! -s "$2" ]] || [[ "$(tail -c 1 "$2" | od -An -c | tr -d ' ')" == '\n' ]]; } &&
    [[ $(wc -l <"$2.err") -eq 1 ]] &&
    grep -q '^quelvaro: the spooler cannot run: .' "$2.err" || {
      echo "status $status, $lines lines, errors: $(cat "$2.err")" >&2
      return 1
    }
}

test_address_space_limits() {
  local exact="$work/limits-exact.txt" report="$work/limits.txt" mib status
  if grep -q __asan_init "$program"; then
    skip "reports under an address-space limit" \
      "the sanitizer build maps terabytes of shadow memory at its start"
    return
  fi
  cups_add_many_queues 200 &&
    lpadmin -p Fern-SMB -E -v smb://127.0.0.1/Laser -m raw 2>/dev/null &&
    lpadmin -p Fern-TLS -E -v "ipps://127.0.0.1:$CUPS_PORT/printers/queue-0001" \
      -m raw 2>/dev/null || {
    check "200 queues, an SMB and an IPPS one could be added" false
    return
  }
  native_report "$exact"
  check "address space: the report without a limit runs cleanly" \
    ran_cleanly "$exact"
  for mib in 16 32 64; do
    status=0
    address_space_report "$mib" "$report" || status=$?
    check "address space: at $mib MiB the exact report, or whole lines and why" \
      whole_or_said "$status" "$report" "$exact"
  done
  for mib in 96 256; do
    status=0
    address_space_report "$mib" "$report" || status=$?
    check "address space: at $mib MiB the exact report" \
      whole_or_said "$status" "$report" "$exact"
    check "address space: at $mib MiB a clean end" test "$status" -eq 0
  done
}

if [[ "${4:-}" == address-space ]]; then
  if cups_start && cups_add_test_queues; then
    test_address_space_limits
  else
    check "private CUPS server started" false
  fi
  checks_summary
  exit
fi

test_no_server
test_silent_server

if cups_start && cups_add_test_queues; then
  test_standard_queues
  test_stopping_server
  test_remote_queue
else
  check "private CUPS server started" false
fi

checks_summary
