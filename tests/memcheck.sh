#!/usr/bin/env bash
# The suite under Valgrind's memcheck, on a native build (what the sanitizer
# build cannot show: values never initialised):
#
#   memcheck.sh BUILD_DIR EMPTY_REPORT [all]
#
# runs the unit tests (the gtest binary directly, as one process), the
# program as a user starts it with no server, and the program inside the
# tests' private network, the one end-to-end run that reaches every source
# of answers (the test command's). With "all", also the program against the
# hostile stand-in servers and, against a private CUPS server with the test
# queues and one remote queue, the program and the CUPS spooler's direct
# tests: end-to-end runs the sanitizer build makes too, and the slowest under
# Valgrind. Any memory error, and any definite or indirect leak, fails. The
# end-to-end tests' timing checks are not repeated here: memcheck runs the
# code many times slower. Every server started here is stopped on exit.
set -uo pipefail

build=$1
empty_report=$2
every_run=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=cups/private_cups.sh
source "$here/cups/private_cups.sh"

work=$(mktemp -d /tmp/quelvaro-memcheck.XXXXXX)
cleanup() {
  cups_stop
  rm -rf "$work"
}
trap cleanup EXIT

memcheck=(valgrind -q --error-exitcode=99 --leak-check=full --child-silent-after-fork=yes
          --errors-for-leak-kinds=definite,indirect
          --suppressions="$here/valgrind.supp")
# shellcheck source=checks.sh
source "$here/checks.sh"
CHECK_PREFIX="memcheck: "

unit_tests() {
  # (The run's loop tests take fewer hosts, and longer, under Valgrind.)
  QUELVARO_UNDER_VALGRIND=1 "${memcheck[@]}" "$build/tests/quelvaro_tests" >"$work/unit.txt" 2>&1 ||
    { cat "$work/unit.txt"; return 1; }
}

# report OUT: the program's report under memcheck, standard input at its end.
report() {
  "${memcheck[@]}" "$build/quelvaro" </dev/null >"$1" 2>"$1.err" ||
    { cat "$1.err"; return 1; }
  [[ ! -s "$1.err" ]] || { cat "$1.err"; return 1; }
}

no_server_report() {
  CUPS_SERVER="$work/no-such.sock" report "$work/no-server.txt" &&
    cmp "$empty_report" "$work/no-server.txt"
}

# The report over the private server lists its queues.
server_report() {
  report "$work/server.txt" && grep -qx -- '- Kasse€2' "$work/server.txt"
}

# The local queues are those lpstat lists before the remote one is added.
spooler_tests() {
  CUPS_ACCESS_LOG="$CUPS_ACCESS_LOG" CUPS_LOCAL_QUEUES="$work/queues" \
    CUPS_REMOTE_QUEUE="Fern-Büro" \
    "${memcheck[@]}" "$build/tests/cups_spooler_tests" >"$work/spooler.txt" 2>&1 ||
    { cat "$work/spooler.txt"; return 1; }
}

# The program inside the tests' private network: discovery, and the remote
# servers asked on threads of their own (some never connect), SMB servers in
# child processes of their own (not followed here).
network_report() {
  local status=0
  NET_SAMBA=1 "$here/network/private_network.sh" "${memcheck[@]}" "$build/quelvaro" \
    </dev/null >"$work/network.txt" 2>"$work/network.err" || status=$?
  [[ $status -ne 77 ]] || return 77  # private_network.sh said why
  [[ $status -eq 0 && ! -s "$work/network.err" ]] ||
    { cat "$work/network.err"; return 1; }
  grep -qx -- '--> \\\\quelvaro-net.local\\Shared' "$work/network.txt"
}

# The program against the scripted servers that answer badly, under
# memcheck (the script leaves out what takes too long under it).
hostile_servers() {
  MEMCHECK=1 bash "$here/ipp/hostile_servers.sh" "$build/quelvaro" "$empty_report" \
    >"$work/hostile.txt" 2>&1 || { cat "$work/hostile.txt"; return 1; }
}

check "unit tests" unit_tests
check "the program with no server" no_server_report
check "the program in the private network" network_report
if [[ $every_run == all ]]; then
  check "the program against hostile servers" hostile_servers
fi
if [[ $every_run == all && -x "$build/tests/cups_spooler_tests" ]]; then
  if cups_start && cups_add_test_queues && lpstat -e >"$work/queues" &&
     cups_add_remote_queue "Fern-Büro" "Far away"; then
    check "the program over a private CUPS server" server_report
    check "the CUPS spooler's EnumPrintersW called directly" spooler_tests
  else
    check "private CUPS servers started" false
  fi
fi

checks_summary
