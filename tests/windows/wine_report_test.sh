#!/usr/bin/env bash
# The Windows exes end to end under Wine, whose EnumPrintersW is a real
# spooler backed by CUPS: a private CUPS server with the test queues, and for
# each exe (32-bit and 64-bit), in a Wine prefix of its own:
#   - the probe of the same architecture dumps what the spooler answers;
#   - the exe runs with its output redirected to a file and standard input
#     from /dev/null; its report must be what the dump calls for;
#   - the exe runs with its output on /dev/null, a character device that is
#     no console; it must end with status 0 and write no errors;
#   - the exe runs in Wine's console on a pseudo-terminal; the terminal must
#     show the same report.
#
# What the machine can run is found out first, once, and said:
#   64-bit exe  always under Wine's 64-bit loader, wine64, natively;
#   32-bit exe  under Wine's 32-bit loader, natively where the kernel runs
#               32-bit programs, else emulated by qemu-user (emulated.sh); on
#               a machine with neither it is skipped, with the reason.
# WINE32_WAY=native or WINE32_WAY=emulated takes the 32-bit exe that way
# whatever the kernel can do (emulated.sh works on any kernel from 6.7).
# Everything started here is stopped again on exit, whatever happens.
#
# Usage: tests/windows/wine_report_test.sh [BUILD_ROOT]   (default: build)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
check_report="$here/check_report.py"

# shellcheck source=../checks.sh
source "$top/tests/checks.sh"
# shellcheck source=../cups/private_cups.sh
source "$top/tests/cups/private_cups.sh"

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
[[ -x $wine64 ]] || wine64=$(command -v wine64 || echo wine64)
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver || echo wineserver)

work=$(mktemp -d /tmp/quelvaro-wine.XXXXXX)
# The wineserver's folder (wine-XXXXXX, left behind when it ends) in ours.
export TMPDIR=$work
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine reads the CUPS queue names in the locale's character set.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY WINEARCH

cleanup() {
  exec 3>&- 2>/dev/null || true
  local prefix
  for prefix in "$work"/prefix-*; do
    [[ -d $prefix ]] || continue
    WINEPREFIX=$prefix "$wineserver" -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix "$wineserver" -w >/dev/null 2>&1 || true
  done
  cups_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- What this machine can run.
x64_way=native x64_why=
if [[ ! -x $wine64 ]]; then
  x64_way=skipped x64_why="no Wine 64-bit loader: $(why_not_installed wine64)"
elif ! "$wine64" --version >/dev/null 2>&1; then
  x64_way=skipped x64_why="Wine's 64-bit loader ($wine64) does not start"
fi

# The 32-bit loader natively when the kernel runs 32-bit programs; else
# emulated, when the emulation starts that loader. Either way it needs its
# package, and Wine's 32-bit spooler needs the 32-bit libcups: what is not
# there is said as that, whatever the kernel can do.
x86_way=${WINE32_WAY:-} x86_why=
if [[ ! -x $wine32 ]]; then
  x86_way=skipped x86_why="no Wine 32-bit loader: $(why_not_installed wine32:i386)"
elif [[ ! -e /usr/lib/i386-linux-gnu/libcups.so.2 ]]; then
  x86_way=skipped x86_why="no 32-bit libcups for Wine's spooler: $(why_not_installed libcups2:i386)"
fi
if [[ -z $x86_way ]]; then
  if "$wine32" --version >/dev/null 2>&1; then
    x86_way=native
  else
    native_error=$("$wine32" --version 2>&1 | tail -n 1)
    x86_way=emulated
  fi
fi
if [[ $x86_way == emulated ]]; then
  if ! emulation_error=$("$here/emulated.sh" "$wine32" --version 2>&1 >/dev/null); then
    x86_way=skipped
    x86_why="${native_error:+the kernel runs no 32-bit programs ($native_error)}${native_error:-WINE32_WAY=emulated}, and qemu-user cannot stand in: ${emulation_error##*$'\n'}"
  fi
fi

say_way() {  # ARCH WAY
  case $2 in
    native) echo "-- $1: natively" ;;
    emulated) echo "-- $1: emulated by qemu-i386-static in a user namespace of its own (${native_error:-WINE32_WAY=emulated})" ;;
  esac
}

# Each of the exe's runs, in the way found: LOADER and run_as for it.
run_as() {  # ARCH COMMAND...
  local arch=$1
  shift
  if [[ $arch == x86 && $x86_way == emulated ]]; then
    "$here/emulated.sh" "$@"
  else
    "$@"
  fi
}

cups_start
cups_add_test_queues
lpstat -e >"$work/queues.txt"

# Runs EXE in Wine's console on a pseudo-terminal, writing what the terminal
# received to OUT; presses Enter once the closing prompt is on the screen.
console_run() {  # ARCH LOADER EXE OUT SECONDS
  local arch=$1 loader=$2 exe=$3 out=$4 seconds=$5 pid i wrapper=""
  [[ $arch == x86 && $x86_way == emulated ]] && wrapper="'$here/emulated.sh' "
  rm -f "$work/keys"
  mkfifo "$work/keys"
  : >"$out"
  timeout "$seconds" script -qec "$wrapper'$loader' '$exe'" /dev/null <"$work/keys" >"$out" &
  pid=$!
  exec 3>"$work/keys"
  # Enter is sent only once the console reads keys itself; sent earlier the
  # terminal would turn it into a line feed, which is no Enter to Wine.
  for i in $(seq 1 $((seconds * 10))); do
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

# What the spooler said, per scope and level: records returned (sizing
# call's result/last error).
show_dump() {  # DUMP
  awk '/^ASK/ {
      for (i = 2; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
      if (f["name"] != "-") { by_name[f["returned"] " (" f["sized"] ")"]++; next }
      if (!(f["flags"] in said)) order[++n] = f["flags"]
      said[f["flags"]] = said[f["flags"]] "  L" f["level"] ": " f["returned"] " (" f["sized"] ")"
    }
    END {
      for (i = 1; i <= n; i++) print "   spooler " order[i] said[order[i]]
      for (r in by_name) print "   spooler by name: " by_name[r] " names, each " r
    }' "$1"
}

exit_status_zero() {  # FILE (the status written there)
  [[ $(cat "$1") == 0 ]] || { echo "exit status $(cat "$1")"; return 1; }
}
no_error_output() {  # FILE
  [[ ! -s $1 ]] || { echo "unexpected error output:"; cat "$1"; return 1; }
}
native_agrees() {  # NATIVE_REPORT WINE_REPORT
  diff -u <(local_scope "$1") <(local_scope "$2") || return 1
  local_scope "$1" | grep -q $'\t= TOTAL: 7$' ||
    { echo "the native Local scope does not list the seven queues"; return 1; }
}

# The checks of one exe, in a prefix of its own. An emulated run takes some
# ten times as long, so it is given ten times as long.
exe_checks() {  # ARCH LOADER
  local arch=$1 loader=$2 slow=1 status
  local exe="$build/windows-$arch/quelvaro.exe"
  local probe="$build/windows-$arch/tests/windows/spooler_probe.exe"
  [[ $arch == x86 && $x86_way == emulated ]] && slow=10
  export WINEPREFIX="$work/prefix-$arch"
  CHECK_PREFIX="$arch: "

  # The prefix is made by the 64-bit loader whichever exe it is for: it is
  # the same prefix either way (the 32-bit loader hands the making of a new
  # one to wine64). wine64 fills the prefix's 32-bit system folder through a
  # 32-bit wineboot of its own, so for an emulated x86 it runs in the
  # emulation too (some minutes), or that folder stays empty and the 32-bit
  # exes find no kernel32.dll. The probe's first answers would come before
  # the prefix had its printers.
  status=0
  run_as "$arch" timeout $((slow > 1 ? 900 : 300)) "$wine64" wineboot --init </dev/null >/dev/null \
    2>"$work/prefix-$arch.log" && "$wineserver" -w || status=$?
  if [[ $status -ne 0 ]]; then
    echo "Wine did not make the prefix:"; cat "$work/prefix-$arch.log"
  fi
  check "prefix made" test "$status" -eq 0 || return 0

  status=0
  run_as "$arch" timeout $((60 * slow)) "$loader" "$probe" </dev/null \
    >"$work/dump-$arch.txt" 2>"$work/probe-$arch.log" || status=$?
  [[ $status -eq 0 ]] || { echo "probe: exit status $status"; cat "$work/probe-$arch.log"; }
  check "the probe dumped the spooler's answers" test "$status" -eq 0 || return 0
  show_dump "$work/dump-$arch.txt"

  status=0
  run_as "$arch" timeout $((60 * slow)) "$loader" "$exe" --ignored argument </dev/null \
    >"$work/report-$arch.txt" 2>"$work/errors-$arch.txt" || status=$?
  echo "$status" >"$work/status-$arch"
  check "exit status" exit_status_zero "$work/status-$arch"
  check "no error output" no_error_output "$work/errors-$arch.txt"
  check "redirected report" python3 "$check_report" "$work/dump-$arch.txt" \
    "$work/queues.txt" "$work/report-$arch.txt"

  # On /dev/null, a character device that is no console (as NUL is on
  # Windows), the report still runs to its end and says it was written.
  status=0
  run_as "$arch" timeout $((60 * slow)) "$loader" "$exe" </dev/null >/dev/null \
    2>"$work/errors-null-$arch.txt" || status=$?
  echo "$status" >"$work/status-null-$arch"
  check "exit status on /dev/null" exit_status_zero "$work/status-null-$arch"
  check "no error output on /dev/null" no_error_output "$work/errors-null-$arch.txt"

  local native="$build/linux/quelvaro"
  if [[ $arch == x86 && -x "$native" ]]; then
    "$native" </dev/null >"$work/native.txt"
    check "native and Wine agree on the Local scope" \
      native_agrees "$work/native.txt" "$work/report-$arch.txt"
  fi

  status=0
  console_run "$arch" "$loader" "$exe" "$work/console-$arch.txt" $((120 * slow)) ||
    status=$?
  echo "$status" >"$work/console-status-$arch"
  check "console exit status" exit_status_zero "$work/console-status-$arch"
  check "console report" python3 "$check_report" --console "$work/dump-$arch.txt" \
    "$work/queues.txt" "$work/console-$arch.txt"
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
}

if [[ $x86_way == skipped ]]; then
  skip "the 32-bit exe under Wine" "$x86_why"
else
  say_way x86 "$x86_way"
  exe_checks x86 "$wine32"
fi
if [[ $x64_way == skipped ]]; then
  skip "the 64-bit exe under Wine" "$x64_why"
else
  say_way x64 "$x64_way"
  exe_checks x64 "$wine64"
fi

CHECK_PREFIX=""
checks_summary
