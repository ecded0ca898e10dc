#!/usr/bin/env bash
# WSD print devices inside the tests' private network (private_network.sh
# with NET_WSD=1: the devices of wsd_stand_in.py, ordinary and hostile, on
# an interface that takes multicast), with a unicast DNS browse domain of
# 200 printers beside (NET_UNICAST):
#
#   wsd_end_to_end.sh PROGRAM
#
# The report's Network scope lists every DNS-SD printer once, local link and
# unicast DNS together, then every WSD print device once, named byte for
# byte as the report shows a name (by its address where its metadata is
# hostile or never comes), none of the other devices; within discovery's
# bound and WSD's half second more; Probes and Resolves the only datagrams
# sent, from a port other than 3702; the hostile devices cost the report
# less than 10 MiB (against the same program in a network namespace of its
# own, where none answers). Needs root (exits 77 without).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$1

if [[ "${2:-}" != --inside ]]; then
  NET_WSD=1 NET_UNICAST=200 exec "$here/private_network.sh" bash "$0" "$program" --inside
fi

# shellcheck source=../checks.sh
source "$here/../checks.sh"
# shellcheck source=../report_sections.sh
source "$here/../report_sections.sh"
CHECK_PREFIX="wsd: "
work="$NET_DIR/wsd-e2e"
mkdir -p "$work"

# The report; when its Network scopes were done (ms), the most memory it
# held (KiB) and its status, a line each; then the most memory the same
# program held in a network namespace of its own, where no WSD device
# answers (and no server either): what the report holds without them.
# (A sanitizer build keeps what is freed for a while, in quarantine: here
# it gives it back at once, so that what it holds is what the program holds.)
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0:thread_local_quarantine_size_kb=0 \
  python3 - "$program" "$work/report.txt" >"$work/measured" <<'PY'
import os, subprocess, sys, time

def run(command, out):
    started = time.monotonic()
    network = None
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in child.stdout:
        if network is None and line == b"====== Network | Shared ======\n":
            network = time.monotonic() - started
        out.write(line)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = 0
    return int(1000 * (network or 99)), usage.ru_maxrss, os.waitstatus_to_exitcode(status)

with open(sys.argv[2], "wb") as out:
    network_ms, held, status = run([sys.argv[1]], out)
with open(os.devnull, "wb") as out:
    _, alone, _ = run(["unshare", "--net", sys.argv[1]], out)
print(network_ms, held, status, alone, sep="\n")
PY
{ read -r network_ms; read -r held_kib; read -r status; read -r alone_kib; } <"$work/measured"

# The WSD devices' names as the report shows them (a control character as
# its picture, a C1 one and a line separator as <U+...>), in the order of
# names.
wsd_names() {
  {
    printf '%s\n' "Büro Drucker 1" "Büro Drucker 2" "Empfang ✓ Drucker 3" "Ohne XAddrs" \
      'Steuer␉zeichen␊␍<U+009B>2J<U+2028>Ende'
    for tail in b0mb 0b16 5117 d10b; do
      echo "urn:uuid:00000000-0000-4000-8000-00000000$tail"
    done
    seq -f 'Etage 4 Drucker %03g' 1 200
  } | LC_ALL=C sort
}
dnssd_then_wsd() {
  local want
  want=$({ printf '%s\n' "Altdrucker Keller" "$NET_IPPEVE_NAME" \
    "Geteilter Drucker Süd @ quelvaro-net" "Plotter Süd @ quelvaro-net" \
    "Shared printer @ quelvaro-net"; echo "$NET_UNICAST_NAMES"; } | LC_ALL=C sort
    wsd_names)
  [[ "$(entries "$work/report.txt" Network 1)" == "$want" ]] ||
    { diff <(echo "$want") <(entries "$work/report.txt" Network 1) | head -20 >&2; return 1; }
}
only_probes_and_resolves() {
  local discovery1=http://schemas.xmlsoap.org/ws/2005/04/discovery
  local discovery2=http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01
  # Both versions' Probes, each twice; Ohne XAddrs's Resolve, twice.
  [[ $(grep -c "^$discovery1/Probe " "$NET_WSD_DIR/received") -eq 2 &&
    $(grep -c "^$discovery2/Probe " "$NET_WSD_DIR/received") -eq 2 &&
    $(grep -c "^$discovery1/Resolve " "$NET_WSD_DIR/received") -eq 2 &&
    $(wc -l <"$NET_WSD_DIR/received") -eq 6 ]] ||
    { cat "$NET_WSD_DIR/received" >&2; return 1; }
}
never_from_3702() { ! grep -q ' 3702$' "$NET_WSD_DIR/received"; }

check "the report runs cleanly" test "$status" -eq 0
check "every DNS-SD printer once, then every WSD print device once, no other" dnssd_then_wsd
check "no WSD device under Network | Shared" \
  test "$(total "$work/report.txt" "Network | Shared" 1)" -eq 3
check "the Network scopes within 2.5 s ($network_ms ms)" test "$network_ms" -lt 2500
check "Probes and Resolves only, of both versions, each sent twice" only_probes_and_resolves
check "sent from a port other than 3702" never_from_3702
# The hostile devices (and everything else the network has) may cost the
# report 10 MiB at most.
check "at most 10 MiB more held than without the network ($held_kib KiB, $alone_kib KiB)" \
  test $((held_kib - alone_kib)) -lt $((10 << 10))
checks_summary
