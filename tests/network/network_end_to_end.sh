#!/usr/bin/env bash
# The native report inside the tests' private network (private_network.sh):
#
#   network_end_to_end.sh PROGRAM [plain|dead|silent|scale|tls|domain]
#
# The Network, Network | Shared and Remote sections exactly as
# tests/expected/network_sections.txt has them (Samba's servers included);
# each server asked once, no credentials shown; the report's bounds with
# hosts that never connect and servers that never answer, each costing its
# own bound once however many there are; and the network at scale: hundreds
# of printers behind remote queues (some slow, some down) and hundreds of
# services on DNS-SD, every one that answers in the report. With "domain":
# the print server of a Windows domain (samba.sh, smb_start_dc) without and
# with the user's Kerberos ticket, and with a KDC that never answers. Needs
# root (exits 77 without, or without Samba's AD DC for "domain").
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$1

if [[ "${2:-}" == domain ]]; then
  if ! type -P samba samba-tool winbindd kinit >/dev/null || [[ ! -d /usr/share/samba/setup ]]; then
    source "$here/../checks.sh"
    skip "network (domain)" "needs samba-ad-dc, samba-ad-provision and krb5-user"
    exit 77
  fi
  NET_SAMBA=1 NET_SAMBA_DC=1 exec "$here/private_network.sh" bash "$0" "$program" --inside domain
fi
if [[ "${2:-}" != --inside ]]; then
  # The network as it is (Samba's servers included), then with ten more
  # queues on hosts that never connect, with three on servers that never
  # answer, at scale, with servers that take TLS only, and with a browse
  # domain in unicast DNS: a network each,
  # started with these settings (private_network.sh). Given a case's name,
  # that case alone (the test command runs them side by side).
  cases=(plain dead silent scale tls unicast)
  [[ -z "${2:-}" ]] || cases=("$2")
  for name in "${cases[@]}"; do
    case $name in
      plain) settings=(NET_SAMBA=1) ;;
      dead) settings=(NET_DEAD_QUEUES=10) ;;
      silent) settings=(NET_SILENT_QUEUES=3) ;;
      scale) settings=(NET_FARM=300 NET_FARM_DOWN=10 NET_FARM_DELAY_MS=200
                       NET_DNSSD_SERVICES=300 NET_DNSSD_OTHERS=20) ;;
      tls) settings=(NET_TLS=1) ;;
      unicast) settings=(NET_UNICAST=200) ;;
      *) echo "network_end_to_end.sh: no case $name" >&2; exit 2 ;;
    esac
    env "${settings[@]}" "$here/private_network.sh" bash "$0" "$program" --inside "$name" ||
      exit $?
  done
  exit 0
fi

source "$here/../checks.sh"
source "$here/../report_sections.sh"
CHECK_PREFIX="network ($3): "
work="$NET_DIR/e2e"
mkdir -p "$work"

# report OUT: the report as a user runs it; sets REPORT_MS.
report() {
  local start end
  start=$(date +%s%N)
  "$program" </dev/null >"$1" 2>"$1.err"
  REPORT_STATUS=$?
  end=$(date +%s%N)
  REPORT_MS=$(((end - start) / 1000000))
}
ran_cleanly() {
  [[ $REPORT_STATUS -eq 0 && ! -s "$1.err" ]] ||
    { echo "status $REPORT_STATUS, errors: $(cat "$1.err")" >&2; return 1; }
}
within() {
  [[ $REPORT_MS -lt $1 ]] || { echo "took $REPORT_MS ms" >&2; return 1; }
}
# CUPS-Get-Printers requests a server's access log holds.
asked() { grep -c "CUPS-Get-Printers" "$1"; }
same_sections() {
  sed -n '/^====== Network ======$/,$p' "$1" >"$1.sections"
  cmp -s "$here/../expected/network_sections.txt" "$1.sections" ||
    { diff -u "$here/../expected/network_sections.txt" "$1.sections" | head -40 >&2; return 1; }
}

# The user's credential cache, with no ticket in it yet.
export KRB5_CONFIG=${SMB_DC_KRB5_CONFIG:-/dev/null} KRB5CCNAME=FILE:$work/ccache

before_own=$(asked "$NET_CUPS_ACCESS_LOG")
before_printsrv=$(asked "$NET_PRINTSRV_ACCESS_LOG")
report "$work/report.txt"
check "the report runs cleanly" ran_cleanly "$work/report.txt"

case $3 in
  plain)
    check "Network, Network | Shared and Remote as expected" \
      same_sections "$work/report.txt"
    check "the machine's server asked once" \
      test $(($(asked "$NET_CUPS_ACCESS_LOG") - before_own)) -eq 1
    # Once as \\printsrv, once as \\quelvaro-net.local: two names, two
    # servers as far as the report can tell.
    check "printsrv asked once under each of its two names" \
      test $(($(asked "$NET_PRINTSRV_ACCESS_LOG") - before_printsrv)) -eq 2
    # SMB-Laser's URI has a workgroup, a user and a password.
    check "the SMB server two queues print to is listed once" \
      test "$(grep -c '^- \\\\smbsrv$' "$work/report.txt")" -eq 1
    check "no user name or password anywhere" \
      bash -c '! grep -Eq "alice|Geheim" "$1"' _ "$work/report.txt"
    # The longest single wait: the SMB server that never connects, 5 s.
    check "the report within its longest wait" within 6500
    ;;
  dead)
    check "eleven hosts that never connect: listed, none expanded" \
      test "$(grep -c '^- \\\\dead' "$work/report.txt")" -eq 11 -a \
      "$(grep -c '^--> \\\\dead' "$work/report.txt")" -eq 0
    check "eleven dead hosts cost one connect bound: within 4.5 s" within 4500
    ;;
  silent)
    check "three servers that never answer: listed, none expanded" \
      test "$(grep -c '^- \\\\silent' "$work/report.txt")" -eq 3 -a \
      "$(grep -c '^--> \\\\silent' "$work/report.txt")" -eq 0
    for i in 1 2 3; do
      check "silent$i asked once" \
        test "$(cat "$NET_SILENT_DIR/silent$i/connections" 2>/dev/null)" = 1
    done
    check "three silent servers cost one bound: within 6.5 s" within 6500
    ;;
  scale)
    # Each answering printer has itself beneath it; the down ones nothing.
    expanded=$(grep -o '^--> \\\\prn-[0-9]*' "$work/report.txt" | cut -c7- | LC_ALL=C sort)
    check "every printer that answers expanded, no other" \
      test "$expanded" == "$NET_FARM_ANSWERING"
    check "every printer listed" \
      test "$(grep -c '^- \\\\prn-' "$work/report.txt")" -eq 300
    network=$(entries "$work/report.txt" Network 1)
    check "every service of the loud device on DNS-SD listed" \
      test "$(grep '^Dienst ' <<<"$network")" == "$NET_DNSSD_SERVICE_NAMES"
    check "beside it, every printer of the other hosts" \
      test "$(grep '^Drucker ' <<<"$network")" == "$NET_DNSSD_OTHER_NAMES"
    # Of a TXT key given twice the first counts: Drucker 01's first rp makes
    # it a queue its host shares, Drucker 02's does not.
    check "the first of a TXT key counts: Drucker 01 shared, Drucker 02 not" \
      test "$(entries "$work/report.txt" "Network | Shared" 1 | grep '^Drucker ')" == "Drucker 01"
    check "and drucker-01.local a print server" \
      grep -qx -- '- \\\\drucker-01.local' "$work/report.txt"
    # One connection a host, both requests over it.
    read -r connections requests _ <"$NET_FARM_DIR/counts"
    answering=$(grep -c . <<<"$NET_FARM_ANSWERING")
    silent=$(awk '$4 == "silent"' "$NET_DIR/farm-hosts" | wc -l)
    check "each printer asked over one connection" \
      test "$connections" -eq $((answering + silent)) -a \
      "$requests" -eq $((2 * answering + silent))
    check "the silent printers' bound, once: within 6.5 s" within 6500
    ;;
  tls)
    # holds SERVER NAME...: the server's lines beneath it under Remote.
    holds() {
      local server=$1 name expected=""
      shift
      for name in "$@"; do expected+=$(printf '%s\\%s' "$server" "$name")$'\n'; done
      [[ "$(nested "$work/report.txt" Remote 1 "$server")" == "${expected%$'\n'}" ]] ||
        { nested "$work/report.txt" Remote 1 "$server" >&2; return 1; }
    }
    on_dnssd() { entries "$work/report.txt" Network 1 | grep -qx "$1"; }
    check "ipps: the CUPS server that takes TLS only, asked over TLS" \
      holds '\\secure-srv:8635' Sicher-Süd Sicher1
    check "a 426 answered over TLS: the same server at another name" \
      holds '\\secure-up:8635' Sicher-Süd Sicher1
    check "ipps: the printer that takes TLS only, itself" \
      holds '\\tls-printer:8636' TLS-Drucker-Süd
    check "the printer was told the host's name (SNI)" \
      test "$(cat "$NET_TLS_DIR/sni-TLS-Drucker-Süd" 2>/dev/null)" == tls-printer
    check "its _ipps._tcp service under Network" on_dnssd "Drucker nur TLS"
    if [[ $NET_IPV6 == 1 ]]; then
      check "IPv6: the same server at [::1]:8634, as before" \
        holds '\\[::1]:8634' Sicher-Süd Sicher1
    else
      skip "network (tls): IPv6" "this machine has no IPv6 (no ::1 on lo)"
    fi
    check "within the longest wait (the host that never connects)" within 4500
    ;;
  unicast)
    network=$(entries "$work/report.txt" Network 1)
    printsrv_names=$'Geteilter Drucker Süd @ quelvaro-net\nShared printer @ quelvaro-net'
    check "every printer of the browse domain listed once, names exact" \
      test "$(grep -Fxf <(echo "$NET_UNICAST_NAMES") <<<"$network")" == "$NET_UNICAST_NAMES"
    check "printsrv's queues, found both ways, listed once each" \
      test "$(grep -Fx -f <(echo "$printsrv_names") <<<"$network")" == "$printsrv_names"
    check "printsrv in unicast DNS: a server under Remote, expanded" \
      test "$(nested "$work/report.txt" Remote 1 '\\printsrv.campus.test')" == \
      "$(printf '\\\\printsrv.campus.test\\%s\n' Geteilt-Süd Shared)"
    check "within the longest wait (the host that never connects)" within 4500
    ;;
  domain)
    # The DC's shares in a report; a report without them.
    dc_shares() { grep -c '^--> \\\\dc1\.lab\.test\\Drucker[12]$' "$1"; }
    without_dc() { grep -v '^--> \\\\dc1\.lab\.test\\' "$1"; }
    # smbsrv, the guests' server, is a stranger to the domain that smbd also
    # advertises on DNS-SD: asked by address from there, and by name (a
    # service ticket the KDC has none for) from the queues; so are smbalt
    # (SMB1 only) and smbnetbios (port 139 only), by name. Their logs say how
    # each session was set up: some were, and none by NTLM as a user.
    stranger_saw_no_ntlm() {
      local logs=("$SMB_DIR"/{guests,smb1,nbt}/log/log.*)
      grep -q 'Successful AuthZ: \[SMB' "${logs[@]}" &&
        ! grep -h 'Successful AuthZ: \[SMB' "${logs[@]}" | grep -qv -e 'ANONYMOUS LOGON' -e ',krb5\]' &&
        ! grep -h 'Auth: \[SMB' "${logs[@]}" | grep -qv 'user \[\]\\\[\]'
    }
    check "no ticket: \\dc1.lab.test with nothing beneath it" \
      test "$(grep -c '^- \\\\dc1\.lab\.test$' "$work/report.txt")" = 1 -a "$(dc_shares "$work/report.txt")" = 0
    check "no ticket: within 8 s" within 8000
    kinit "$SMB_DC_USER" <<<"$SMB_DC_PASSWORD" >/dev/null
    report "$work/ticket.txt"
    check "the user's ticket: runs cleanly" ran_cleanly "$work/ticket.txt"
    check "the user's ticket: both printer shares of the DC" test "$(dc_shares "$work/ticket.txt")" = 2
    check "the user's ticket: the rest as without, anonymous servers included" \
      cmp -s <(without_dc "$work/ticket.txt") "$work/report.txt"
    check "the user's ticket: within 8 s" within 8000
    check "the user's ticket: the DC's service ticket in the user's cache" \
      bash -c 'klist | grep -q "cifs/dc1.lab.test@LAB.TEST"'
    check "the stranger: only anonymous or Kerberos session setups" stranger_saw_no_ntlm
    check "no password anywhere" bash -c '! grep -rqF -e "$1" -e Geheim "${@:2}"' _ \
      "$SMB_DC_PASSWORD" "$work" "$SMB_DIR"/*/log /var/log/samba
    # A ticket for the realm alone, whose KDC is now a host that never
    # answers: every listing by name waits for it, until the bound.
    sed 's/kdc = .*/kdc = 192.0.2.1/' "$KRB5_CONFIG" >"$work/stalled.conf"
    export KRB5CCNAME=FILE:$work/realm-only
    kinit "$SMB_DC_USER" <<<"$SMB_DC_PASSWORD" >/dev/null
    KRB5_CONFIG=$work/stalled.conf report "$work/stalled.txt"
    check "a KDC that never answers: runs cleanly" ran_cleanly "$work/stalled.txt"
    check "a KDC that never answers: as without a ticket, less the shares of servers asked by name" \
      cmp -s <(grep -Ev '^--> \\\\(smbsrv|smbalt|smbnetbios)\\' "$work/report.txt") "$work/stalled.txt"
    check "a KDC that never answers: within 8 s" within 8000
    ;;
esac
checks_summary
