#!/usr/bin/env bash
# The native report against IPP servers that answer badly, slowly, hugely or
# deceitfully (the cases of stand_in_server.py), and with its output going
# nowhere:
#
#   hostile_servers.sh PROGRAM EMPTY_REPORT
#
# PROGRAM is the native binary, EMPTY_REPORT the report of a spooler that
# answers nothing. For every case the program runs once against a stand-in
# on a loopback port, with standard input at its end, and must: exit with
# status 0 and nothing on standard error; write the whole report (every
# heading, in order, and the closing lines); list what the case says; finish
# within the case's time; and have connected to the stand-in exactly once.
#
# MEMCHECK=1 runs the program under Valgrind's memcheck instead (any memory
# error or definite or indirect leak fails), without the timing checks and
# without the cases too big for it. Prints one line per check and ends with
# "N passed, N failed".
set -uo pipefail

program=$1
empty_report=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../checks.sh
source "$here/../checks.sh"
# shellcheck source=../report_sections.sh
source "$here/../report_sections.sh"

work=$(mktemp -d /tmp/quelvaro-hostile.XXXXXX)
server_pid=

stop_server() {
  if [[ -n "$server_pid" ]]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    server_pid=
  fi
}

cleanup() {
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT

# No DNS-SD: the system bus, where Avahi would be asked, is one that does not
# exist, so that only the stand-in's answer can show in the report.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus"

runner=()
memcheck=${MEMCHECK:-0}
if [[ "$memcheck" == 1 ]]; then
  runner=(valgrind -q --error-exitcode=99 --leak-check=full
          "--errors-for-leak-kinds=definite,indirect"
          --suppressions="$here/../valgrind.supp")
  echo "# MEMCHECK=1: the program runs under memcheck; no timing checks;" \
       "many-printers, oversized and oversized-chunked are skipped (too slow" \
       "under Valgrind)"
fi

# same FILE FILE: the files hold the same bytes; shows the difference if not.
same() {
  if cmp -s "$1" "$2"; then return 0; fi
  diff -u "$1" "$2" | head -40 >&2
  return 1
}

# wait_for_file FILE: the stand-in has written its port (at most 10 s).
wait_for_file() {
  for _ in $(seq 1 100); do
    [[ -s "$1" ]] && return 0
    sleep 0.1
  done
  echo "no $1" >&2
  return 1
}

# run_program OUT: the program as a user runs it, standard input at its end,
# bounded by a minute. Sets STATUS and MS (wall time).
run_program() {
  local start end
  start=$(date +%s%N)
  timeout -k 5 60 "${runner[@]}" "$program" </dev/null >"$1" 2>"$1.err"
  STATUS=$?
  end=$(date +%s%N)
  MS=$(((end - start) / 1000000))
}

# against CASE: the stand-in started with that case, the program run on it,
# the stand-in stopped. Sets DIR and OUT (the report); fails when the
# stand-in did not start.
against() {
  DIR="$work/case-$1"
  OUT="$DIR/report"
  mkdir -p "$DIR"
  python3 "$here/stand_in_server.py" "$1" "$DIR" &
  server_pid=$!
  if ! wait_for_file "$DIR/port"; then
    stop_server
    check "$1: the stand-in started" false
    return 1
  fi
  CUPS_SERVER="127.0.0.1:$(cat "$DIR/port")" run_program "$OUT"
  stop_server
}

# over_tls CASE: the same, the stand-in taking TLS only and the report
# asking it over TLS from the first byte.
over_tls() { CUPS_ENCRYPTION=Always against "$1"; }

ran_cleanly() {
  [[ $STATUS -eq 0 && ! -s "$OUT.err" ]] || {
    echo "status $STATUS, errors: $(head -c 2000 "$OUT.err")" >&2
    return 1
  }
}

# The report with every entry, nested and total line taken out is the
# empty one: all headings in order, the closing lines, nothing else.
whole_report() {
  LC_ALL=C sed -e '/^- /d' -e '/^--> /d' -e '/^= TOTAL: /d' "$OUT" >"$OUT.bare"
  same "$empty_report" "$OUT.bare"
}

asked_once() {
  [[ "$(cat "$DIR/connections" 2>/dev/null)" == 1 ]] || {
    echo "connections: $(cat "$DIR/connections" 2>/dev/null || echo 0)" >&2
    return 1
  }
}

within() {  # within MILLISECONDS
  [[ $MS -lt $1 ]] || { echo "took $MS ms" >&2; return 1; }
}

# common CASE SECONDS: the checks every case makes.
common() {
  echo "# $1: exit status $STATUS after $MS ms"
  check "$1: exit status 0, nothing on standard error" ran_cleanly
  check "$1: the report is whole" whole_report
  check "$1: the server was asked once" asked_once
  if [[ "$memcheck" != 1 ]]; then
    check "$1: the whole report within $2 s" within $(($2 * 1000))
  fi
}

# lists_exactly SCOPE LEVEL FILE: the scope lists at that level the names in
# FILE, in that order, and its total says how many (no total for none).
lists_exactly() {
  entries "$OUT" "$1" "$2" >"$OUT.listed"
  same "$3" "$OUT.listed" || return 1
  local count
  count=$(wc -l <"$3")
  if [[ $count -eq 0 ]]; then
    [[ -z "$(total "$OUT" "$1" "$2")" ]]
  else
    [[ "$(total "$OUT" "$1" "$2")" == "$count" ]]
  fi
}

# every_level SCOPE FILE: lists_exactly at levels 1, 2, 4 and 5.
every_level() {
  local level
  for level in 1 2 4 5; do
    lists_exactly "$1" $level "$2" || { echo "at level $level" >&2; return 1; }
  done
}

# server_holds FILE: Remote level 1 lists one server, the stand-in
# ("\\127.0.0.1..."), and beneath it "SERVER\NAME" for each name in FILE.
server_holds() {
  local server
  entries "$OUT" Remote 1 >"$OUT.server"
  server=$(head -1 "$OUT.server")
  [[ $(wc -l <"$OUT.server") -eq 1 && "$server" == '\\127.0.0.1'* ]] || {
    echo "Remote level 1 lists: $(head -3 "$OUT.server")" >&2
    return 1
  }
  nested "$OUT" Remote 1 "$server" >"$OUT.nested"
  SERVER="$server" awk '{ print ENVIRON["SERVER"] "\\" $0 }' "$1" \
    >"$OUT.nested-expected"
  same "$OUT.nested-expected" "$OUT.nested"
}

# What the cases are to list.
expected="$work/expected"
mkdir -p "$expected"
printf '%s\n' Alpha Beta Gamma >"$expected/three"
echo Beta >"$expected/beta"
: >"$expected/none"

# The answer of the good case, listed as it should be.
lists_three() {
  every_level Local "$expected/three" && every_level "Local | Shared" "$expected/beta" &&
    every_level Connections "$expected/none" && server_holds "$expected/three"
}

nothing_listed() { same "$empty_report" "$OUT"; }

# ---- Answers to be used: listed whole, and soon.
for name in good chunked slow-good deep-nesting million-values; do
  seconds=5
  [[ $name == slow-good ]] && seconds=10  # it waits 2 s before answering
  against "$name" || continue
  common "$name" $seconds
  check "$name: Alpha, Beta (shared) and Gamma listed" lists_three
done

if [[ "$memcheck" != 1 ]]; then
  against many-printers && {
    common many-printers 10  # about 1 s here; 5 s in the sanitizer build
    seq -f 'P%06g' 1 100000 >"$expected/hundred-thousand"
    check "many-printers: Local level 1 lists all 100,000, in order" \
      lists_exactly Local 1 "$expected/hundred-thousand"
  }
fi

# ---- Answers to be refused: nothing listed, in bounded time.
hostile=(trickle-status trickle-headers trickle-body continue-forever
         gzip-corrupt truncated lying-lengths http-500 http-401)
if [[ "$memcheck" != 1 ]]; then
  hostile+=(oversized oversized-chunked)
fi
for name in "${hostile[@]}"; do
  against "$name" || continue
  common "$name" 15
  check "$name: nothing listed" nothing_listed
done

# ---- TLS: a self-signed certificate out of date does not stop the report;
# a TLS peer that stalls, answers with garbage, cuts a record short, asks for
# a renegotiation, sends a certificate chain of megabytes or speaks only
# TLS 1.0 gives nothing, in bounded time.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=stand-in -keyout "$work/key.pem" \
  -out "$work/new.pem" 2>/dev/null &&
  openssl x509 -x509toreq -in "$work/new.pem" -signkey "$work/key.pem" \
    -out "$work/cert.csr" 2>/dev/null &&
  openssl x509 -req -in "$work/cert.csr" -signkey "$work/key.pem" -days -1 \
    -out "$work/cert.pem" 2>/dev/null
export STAND_IN_CERT="$work/cert.pem" STAND_IN_KEY="$work/key.pem"
over_tls tls-good && {
  common tls-good 5
  check "tls-good: Alpha, Beta (shared) and Gamma listed" lists_three
}
tls_hostile=(tls-stall tls-garbage tls-cut-record tls-renegotiate tls-1.0)
[[ "$memcheck" == 1 ]] || tls_hostile+=(tls-huge-chain)
for name in "${tls_hostile[@]}"; do
  over_tls "$name" || continue
  common "$name" 8
  check "$name: nothing listed" nothing_listed
done

# ---- Values of a type other than the attribute's own count as absent.
wrong_tags_local() {
  local level
  printf '%s\n' Text-Type Text-Shared Normal >"$OUT.expected"
  for level in 1 2 4 5; do
    [[ "$(entries "$OUT" Local $level | wc -l)" -eq 4 &&
       "$(total "$OUT" Local $level)" == 4 ]] || return 1
    entries "$OUT" Local $level | tail -n +2 >"$OUT.listed"
    same "$OUT.expected" "$OUT.listed" || return 1
  done
  every_level Connections "$expected/none"
}
not_in_report() { ! grep -qF -- "$1" "$OUT"; }
against wrong-tags && {
  common wrong-tags 5
  check "wrong-tags: all four local, printer-type as text no remote bit" \
    wrong_tags_local
  check "wrong-tags: printer-name as integer 4242 is shown nowhere" \
    not_in_report 4242
  echo Normal >"$expected/normal"
  check "wrong-tags: printer-is-shared as text \"true\" is not shared" \
    every_level "Local | Shared" "$expected/normal"
}

# ---- Control characters in names are shown, never passed to the terminal.
cat >"$expected/escapes" <<'NAMES'
␛[2J␛[Hcleared
␛]0;title␇named
␛]8;;http://evil.example/␛\click␛]8;;␛\
<U+009B>31mred
bell␇back␈del␡tab␉end
line<U+2028>para<U+2029>end
NAMES
# No C0 control but the line feeds, no DEL, no C1, no U+2028 or U+2029.
no_controls() {
  python3 - "$OUT" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
found = re.search(rb"[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]|\xe2\x80[\xa8\xa9]",
                  data)
if found:
    sys.exit("%r at byte %d" % (found.group(), found.start()))
PY
}
shown_as() { every_level Local "$1" && server_holds "$1"; }
against escapes && {
  common escapes 5
  check "escapes: names shown with pictures and <U+XXXX>, at every level" \
    shown_as "$expected/escapes"
  check "escapes: no control character anywhere in the report" no_controls
}

# ---- Device URIs' user names and passwords are never shown.
connections_only() {
  every_level Connections "$1" && every_level Local "$expected/none"
}
no_secrets() {
  ! grep -F -e 'pa?ss' -e 'pw#1' -e 's3cr' -e 'user:' -e 'al%40ice' \
      -e 'u:pw' "$OUT" >&2
}
against credentials && {
  common credentials 5
  printf '%s\n' Far-1 Far-2 Far-3 >"$expected/far"
  check "credentials: the remote printers listed under Connections" \
    connections_only "$expected/far"
  check "credentials: no user name or password anywhere in the report" \
    no_secrets
}

# ---- Output that cannot be written is an error, and the program still
# waits for Enter. Standard input is a file shared with this shell (fd 3),
# so its offset afterwards shows whether the program read it.
output_status() {  # output_status >WHERE: sets STATUS and READ
  printf '\n' >"$work/enter"
  exec 3<"$work/enter"
  CUPS_SERVER="$work/no-such.sock" timeout -k 5 60 "${runner[@]}" \
    "$program" <&3 2>"$work/output.err"
  STATUS=$?
  READ=$(awk '/^pos:/ { print $2 }' "/proc/$$/fdinfo/3")
  exec 3<&-
}
output_status >/dev/full
check "output on a full disk: exit status 1" test $STATUS -eq 1
check "output on a full disk: standard input still read" test "$READ" -ge 1
output_status >&-
check "standard output closed: exit status 1" test $STATUS -eq 1
output_status >"$work/output.txt"
check "output to a file: exit status 0" test $STATUS -eq 0
check "output to a file: nothing listed" same "$empty_report" "$work/output.txt"

checks_summary
