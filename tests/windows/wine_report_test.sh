#!/usr/bin/env bash
# The Windows exes end to end under Wine, whose EnumPrintersW is a real
# spooler backed by CUPS: a private CUPS server with the test queues, one new
# Wine prefix, and for each exe (32-bit and 64-bit):
#   - the probe of the same architecture dumps what the spooler answers;
#   - the exe runs with its output redirected to a file and standard input
#     from /dev/null; its report must be what the dump calls for;
#   - the exe runs with its output on /dev/null, a character device that is
#     no console; it must end with status 0 and write no errors;
#   - the exe runs in Wine's console on a pseudo-terminal; the terminal must
#     show the same report.
# Everything started here is stopped again on exit, whatever happens.
#
# Usage: tests/windows/wine_report_test.sh [BUILD_ROOT]   (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
check="$top/tests/windows/check_report.py"

# shellcheck source=../cups/private_cups.sh
source "$top/tests/cups/private_cups.sh"

wine=$(command -v wine || echo /usr/bin/wine-stable)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

work=$(mktemp -d /tmp/quelvaro-wine.XXXXXX)
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine reads the CUPS queue names in the locale's character set.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

cleanup() {
  exec 3>&- 2>/dev/null || true
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  cups_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
verdict() {  # NAME STATUS
  if [[ $2 -eq 0 ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
  fi
}

cups_start
cups_add_test_queues
lpstat -e >"$work/queues.txt"

# The first start makes the prefix (10 to 20 seconds); the probe's first
# answers are thrown away with it.
timeout 300 "$wine" "$build/windows-x86/tests/windows/spooler_probe.exe" \
  </dev/null >/dev/null 2>"$work/prefix.log" || {
  echo "Wine did not start:"; cat "$work/prefix.log"; exit 1; }

# Runs EXE in Wine's console on a pseudo-terminal, writing what the terminal
# received to OUT; presses Enter once the closing prompt is on the screen.
console_run() {  # EXE OUT
  local exe=$1 out=$2 pid i
  rm -f "$work/keys"
  mkfifo "$work/keys"
  : >"$out"
  timeout 120 script -qec "'$wine' '$exe'" /dev/null <"$work/keys" >"$out" &
  pid=$!
  exec 3>"$work/keys"
  # Enter is sent only once the console reads keys itself; sent earlier the
  # terminal would turn it into a line feed, which is no Enter to Wine.
  for i in $(seq 1 600); do
    sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$out" | grep -q Beenden && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.5
  # (In a subshell: should the run be over already, the broken pipe ends
  # only that.)
  (printf '\r' >&3) 2>/dev/null || true
  exec 3>&-
  wait "$pid"
}

# The Local scope's entries and totals, the part of the report where Wine's
# spooler and ours over CUPS agree on what CUPS holds (they differ on the
# others: Wine takes SHARED for no filter, refuses Remote and answers every
# by-name request with its printers). Wine lists its printers in an order of
# its own, so the entries of each level are compared as a set; nested lines
# and line endings are dropped.
local_scope() {  # REPORT
  tr -d '\r' <"$1" | awk '/^====== / { on = ($0 == "====== Local ======") }
    on && /^------ Level / { level = $0 }
    on && (/^- / || /^= TOTAL: /) { print level "\t" $0 }' | LC_ALL=C sort
}

for arch in x86 x64; do
  exe="$build/windows-$arch/quelvaro.exe"
  probe="$build/windows-$arch/tests/windows/spooler_probe.exe"
  echo "-- $arch: $exe"

  timeout 60 "$wine" "$probe" </dev/null >"$work/dump-$arch.txt"
  # What the spooler said, per scope and level: records returned (sizing
  # call's result/last error).
  awk '/^ASK/ {
      for (i = 2; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
      if (f["name"] != "-") { by_name[f["returned"] " (" f["sized"] ")"]++; next }
      if (!(f["flags"] in said)) order[++n] = f["flags"]
      said[f["flags"]] = said[f["flags"]] "  L" f["level"] ": " f["returned"] " (" f["sized"] ")"
    }
    END {
      for (i = 1; i <= n; i++) print "   spooler " order[i] said[order[i]]
      for (r in by_name) print "   spooler by name: " by_name[r] " names, each " r
    }' "$work/dump-$arch.txt"

  status=0
  timeout 60 "$wine" "$exe" --ignored argument </dev/null \
    >"$work/report-$arch.txt" 2>"$work/errors-$arch.txt" || status=$?
  [[ $status -eq 0 ]] || echo "exit status $status"
  verdict "$arch exit status" "$status"
  if [[ -s "$work/errors-$arch.txt" ]]; then
    echo "unexpected error output:"; cat "$work/errors-$arch.txt"
    verdict "$arch error output" 1
  fi
  status=0
  python3 "$check" "$work/dump-$arch.txt" "$work/queues.txt" \
    "$work/report-$arch.txt" || status=$?
  verdict "$arch redirected report" "$status"

  # On /dev/null, a character device that is no console (as NUL is on
  # Windows), the report still runs to its end and says it was written.
  status=0
  timeout 60 "$wine" "$exe" </dev/null >/dev/null 2>"$work/errors-null-$arch.txt" || status=$?
  [[ $status -eq 0 ]] || echo "on /dev/null: exit status $status"
  if [[ -s "$work/errors-null-$arch.txt" ]]; then
    echo "unexpected error output on /dev/null:"; cat "$work/errors-null-$arch.txt"
    status=1
  fi
  verdict "$arch report on /dev/null" "$status"

  native="$build/linux/quelvaro"
  if [[ $arch == x86 && -x "$native" ]]; then
    "$native" </dev/null >"$work/native.txt"
    status=0
    diff -u <(local_scope "$work/native.txt") <(local_scope "$work/report-x86.txt") \
      || status=$?
    if [[ $status -eq 0 ]] && ! local_scope "$work/native.txt" | grep -q $'\t= TOTAL: 7$'; then
      echo "the native Local scope does not list the seven queues"; status=1
    fi
    verdict "native and Wine agree on the Local scope" "$status"
  fi

  status=0
  console_run "$exe" "$work/console-$arch.txt" || status=$?
  [[ $status -eq 0 ]] || echo "console run: exit status $status"
  verdict "$arch console exit status" "$status"
  status=0
  python3 "$check" --console "$work/dump-$arch.txt" "$work/queues.txt" \
    "$work/console-$arch.txt" || status=$?
  verdict "$arch console report" "$status"
done

echo "wine: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
