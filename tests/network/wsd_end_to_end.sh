#!/usr/bin/env bash
# WSD print devices inside the tests' private network (private_network.sh
# with NET_WSD=1: the devices of wsd_stand_in.py on an interface that takes
# multicast):
#
#   wsd_end_to_end.sh PROGRAM WSD_LISTING
#
# The discovery alone (tests/wsd_listing.cc, which drives it as the run's
# loop does and says what it held): every print device listed once, named
# byte for byte (by its address where its metadata is hostile or never
# comes), none of the others; Probes and Resolves the only datagrams sent,
# from a port other than 3702; the memory the hostile devices cost. Then
# the report, with a unicast DNS browse domain of 200 printers beside
# (NET_UNICAST): the Network scope lists every DNS-SD printer once, local
# link and unicast DNS together, then the same WSD devices, within
# discovery's bound and WSD's half second more. Needs root (exits 77
# without).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$1 listing=$2

if [[ "${3:-}" != --inside ]]; then
  NET_WSD=1 NET_UNICAST=200 exec "$here/private_network.sh" bash "$0" "$program" \
    "$listing" --inside
fi

# shellcheck source=../checks.sh
source "$here/../checks.sh"
# shellcheck source=../report_sections.sh
source "$here/../report_sections.sh"
CHECK_PREFIX="wsd: "
work="$NET_DIR/wsd-e2e"
mkdir -p "$work"

start=$(date +%s%N)
"$listing" >"$work/devices.txt" 2>"$work/stderr"
status=$?
ms=$((($(date +%s%N) - start) / 1000000))

# The listing's lines (wsd_listing.cc: bytes below 0x20 as \xHH), in the
# order of names.
expected() {
  local x=http://192.0.2.50:5357 h=http://192.0.2.51:5357 i tail
  {
    printf '%s\t%s,%s,\t%s\n' \
      "Büro Drucker 1" "Büro Drucker 1" "Belvantro WS 1" "$x/drucker/1" \
      "Büro Drucker 2" "Büro Drucker 2" "" "$x/drucker/2" \
      "Empfang ✓ Drucker 3" "Empfang ✓ Drucker 3" "Belvantro & Söhne <3>" "$x/drucker/3" \
      "Ohne XAddrs" "Ohne XAddrs" "" "$x/ohne"
    local controls='Steuer\x09zeichen\x0A\x0D'$'\xc2\x9b''2J'$'\xe2\x80\xa8''Ende'
    printf '%s\t%s,,\t%s\n' "$controls" "$controls" "$x/steuer"
    for tail in b0mb:bombe 0b16:riesig 5117:still d10b:tropf; do
      local address=urn:uuid:00000000-0000-4000-8000-00000000${tail%:*}
      printf '%s\t%s,,\t%s\n' "$address" "$address" "$x/${tail#*:}"
    done
    for i in $(seq -f %03g 1 200); do
      printf 'Etage 4 Drucker %s\tEtage 4 Drucker %s,,\t%s/etage/%s\n' "$i" "$i" "$h" "$i"
    done
  } | LC_ALL=C sort
}
same_devices() {
  cmp -s <(expected) "$work/devices.txt" ||
    { diff -u <(expected) "$work/devices.txt" | head -40 >&2; return 1; }
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
# The most memory the listing held, from its last line ("N ms, K KiB at most").
held_kib() { sed -n 's/.*, \([0-9]*\) KiB at most$/\1/p' "$work/stderr"; }

check "the listing runs cleanly" test "$status" -eq 0
check "every print device once, named byte for byte; no other" same_devices
check "within the slowest device's bound: 6.5 s" test "$ms" -lt 6500
check "Probes and Resolves only, of both versions, each sent twice" only_probes_and_resolves
check "sent from a port other than 3702" never_from_3702
# The hostile devices together cost less than 10 MiB above what the
# listing takes on a network without devices (some 3.5 MiB).
check "at most 13.5 MiB held ($(held_kib) KiB)" test "$(held_kib)" -lt $((27 << 9))

# The report, and when its Network scopes were done (ms).
python3 - "$program" "$work/report.txt" >"$work/network-ms" <<'PY'
import subprocess, sys, time
started = time.monotonic()
network = None
with open(sys.argv[2], "wb") as out:
    child = subprocess.Popen([sys.argv[1]], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in child.stdout:
        if network is None and line == b"====== Network | Shared ======\n":
            network = time.monotonic() - started
        out.write(line)
    child.wait()
print(int(1000 * (network or 99)))
PY
network_ms=$(cat "$work/network-ms")
# The WSD devices' names as the report shows them: a control character as
# its picture, a C1 one and a line separator as <U+...>.
wsd_entries() {
  cut -f1 <(expected) | sed -e 's/\\x09/␉/g' -e 's/\\x0A/␊/g' -e 's/\\x0D/␍/g' \
    -e $'s/\xc2\x9b/<U+009B>/g' -e $'s/\xe2\x80\xa8/<U+2028>/g'
}
dnssd_then_wsd() {
  local want
  want=$({ printf '%s\n' "Altdrucker Keller" "$NET_IPPEVE_NAME" \
    "Geteilter Drucker Süd @ quelvaro-net" "Plotter Süd @ quelvaro-net" \
    "Shared printer @ quelvaro-net"; echo "$NET_UNICAST_NAMES"; } | LC_ALL=C sort
    wsd_entries)
  [[ "$(entries "$work/report.txt" Network 1)" == "$want" ]] ||
    { diff <(echo "$want") <(entries "$work/report.txt" Network 1) | head -20 >&2; return 1; }
}
check "the report: every DNS-SD printer once, then every WSD print device once" dnssd_then_wsd
check "the report: no WSD device under Network | Shared" \
  test "$(total "$work/report.txt" "Network | Shared" 1)" -eq 3
check "the report: the Network scopes within 2.5 s ($network_ms ms)" \
  test "$network_ms" -lt 2500
checks_summary
