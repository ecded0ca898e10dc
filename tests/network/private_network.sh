#!/bin/bash
# Runs a command inside a small private network, made for it and gone after:
#
#   private_network.sh COMMAND [ARGS...]
#
# As root: new net, mount, pid and UTS namespaces (everything started inside
# ends with them; the host name is quelvaro-net), lo up, and every state, log and configuration file in a
# temporary folder under /tmp that is removed at the end. /run is a tmpfs,
# /etc/hosts and /etc/avahi/services are this script's own. In there, all on
# loopback addresses:
#
#   avahi-daemon   on lo only, host name quelvaro-net.local, IPv4, its own
#                  D-Bus system bus (/run/dbus/system_bus_socket)
#   etikett:8631   an IPP Everywhere printer (ippeveprinter), advertised as
#                  _ipp._tcp and _ipps._tcp "Etikettendrucker Süd ✓"
#   printsrv:631   a CUPS server sharing Shared and Geteilt-Süd by DNS-SD as
#                  "Shared printer @ quelvaro-net" and
#                  "Geteilter Drucker Süd @ quelvaro-net"
#   druck-sued.local:8632  an office's CUPS server, 127.0.0.12, sharing
#                  Süd_Plotter by DNS-SD (_ipp._tcp and _ipps._tcp) as
#                  "Plotter Süd @ quelvaro-net", with no TLS to offer
#   the program's server  a CUPS server on a socket and a loopback port,
#                  advertising nothing, with the test queues of
#                  tests/cups/private_cups.sh and Fern-Büro
#                  (ipp://printsrv/printers/Shared), Fern-Zwei
#                  (ipps://printsrv:631/printers/Geteilt-S%C3%BCd), Etikett
#                  (ipp://etikett:8631/ipp/print), Nirgendwo
#                  (ipp://deadhost/printers/gone)
#   deadhost, dead1..dead10   addresses where a connect never completes
#   silent1..silent3          127.0.0.21-23: port 631 takes connections and
#                  never answers
#
# Read from the environment:
#   NET_DEAD_QUEUES=N    N more queues Tot1..TotN, ipp://deadI/printers/totI
#   NET_SILENT_QUEUES=N  N (at most 3) more queues Still1..StillN,
#                        ipp://silentI/printers/stillI
#   NET_DEADHOST=0       no Nirgendwo queue (no host that never connects)
#   NET_FARM, NET_FARM_DELAY_MS, NET_FARM_DOWN, NET_DNSSD_SERVICES,
#   NET_DNSSD_OTHERS
#                        the network at campus scale (network.sh)
#   NET_TLS=1            servers that take TLS only (network.sh)
#   NET_UNICAST=N        a search domain whose name server publishes a
#                        browse domain of N printers and printsrv's queues
#                        in DNS-SD over unicast DNS (network.sh)
#   NET_WSD=1            WSD print devices, and hostile ones, on an interface
#                        that takes multicast (network.sh, wsd_stand_in.py)
#   NET_SAMBA=1          start Samba too (tests/network/samba.sh, smb_start):
#                        smbsrv (127.0.0.1, guests welcome), smbzu (refuses
#                        guests), smbtot (never connects), smbalt (SMB1
#                        only), smbnetbios (port 139 only), and queues of the
#                        program's server on them: SMB-Etiketten, SMB-Laser
#                        (with a user and password), SMB-Zu, SMB-Tot,
#                        SMB-Alt, SMB-NetBIOS
#   NET_SAMBA_DC=1       with NET_SAMBA=1, a domain too (samba.sh,
#                        smb_start_dc): its DC dc1.lab.test (127.0.0.9) and a
#                        queue SMB-Domain on it, smb://dc1.lab.test/Drucker1;
#                        SMB_DC_KRB5_CONFIG, SMB_DC_USER and SMB_DC_PASSWORD
#                        are exported
#
# Exported to COMMAND:
#   CUPS_SERVER              the program's server (its Unix socket)
#   NET_DIR                  the temporary folder
#   NET_CUPS_PORT            the program's server's loopback port
#   NET_CUPS_DIR, NET_CUPS_ACCESS_LOG                 its folder and access log
#   NET_PRINTSRV_SERVER      printsrv's Unix socket (for lpstat and the like)
#   NET_PRINTSRV_PORT        631
#   NET_PRINTSRV_DIR, NET_PRINTSRV_ACCESS_LOG         its folder and access log
#   NET_SUED_HOST, NET_SUED_PORT, NET_SUED_ADDRESS, NET_SUED_SERVER
#                            druck-sued: its DNS-SD host name, port, address
#                            and Unix socket
#   NET_IPPEVE_PORT, NET_IPPEVE_NAME, NET_IPPEVE_LOG  the IPP Everywhere printer
#   NET_HOSTNAME             quelvaro-net.local, the namespace's DNS-SD host
#   NET_DNSSD_NAMES          the _ipp._tcp instance names, a line each, sorted
#   NET_DNSSD_BROWSED        how many of the loud device's avahi-browse shows
#   NET_PRINTSRV_QUEUES      printsrv's queues, a line each, sorted
#   NET_SILENT_DIR           silentI's listener writes connections (a count)
#                            and request-N there under silentI/
#   NET_FARM_DIR             the printer farm's folder (its counts file)
#   NET_FARM_ANSWERING, NET_FARM_DOWN_NAMES   its printers' names, a line each
#   NET_DNSSD_SERVICE_NAMES  the names of the NET_DNSSD_SERVICES services
#   NET_UNICAST_NAMES        the names of the NET_UNICAST browse domain's
#                            printers, a line each, sorted
#   NET_TLS_DIR              the TLS printer's folder (sni-NAME: the name
#                            each client sent)
#   NET_IPV6                 1 where the machine has IPv6, else 0
#   NET_WSD_DIR              the WSD devices' folder (received: what came
#                            to them)
#   DBUS_SYSTEM_BUS_ADDRESS  the namespace's system bus
#
# Exits with COMMAND's status; 77 when not root or the namespaces are
# refused; 125 when the network could not be set up (the logs go to stderr).

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ "${1:-}" != --inside ]]; then
  if [[ $# -eq 0 ]]; then
    echo "usage: private_network.sh COMMAND [ARGS...]" >&2
    exit 2
  fi
  if [[ $(id -u) != 0 ]] || ! unshare --net --mount --pid --uts --fork true 2>/dev/null; then
    # shellcheck source=../checks.sh
    source "$here/../checks.sh"
    skip "the private network" "needs root and unshare (net, mount, pid, uts)"
    exit 77
  fi
  NET_DIR=$(mktemp -d /tmp/quelvaro-net.XXXXXX) || exit 125
  trap 'rm -rf "$NET_DIR"' EXIT
  # Should this script end early, even by SIGKILL, unshare gets SIGKILL
  # (--pdeathsig), and then the namespace's first process (--kill-child),
  # and with it everything inside. A signal for this script ends the lot
  # that way too (unshare itself holds TERM and INT back while it waits).
  # Started in the background so that the traps run at once; stdin stays
  # the command's.
  setpriv --pdeathsig KILL \
    unshare --net --mount --pid --uts --fork --kill-child --mount-proc --propagation private \
    bash "$here/private_network.sh" --inside "$NET_DIR" "$@" <&0 &
  child=$!
  # Ends the namespace now, and waits until its first process, the last of
  # its processes to go, is gone: only then is the folder left alone.
  # shellcheck disable=SC2317  # called by the traps
  net_end() {
    local first
    first=$(pgrep -P "$child")
    kill -KILL "$child" 2>/dev/null
    wait "$child" 2>/dev/null
    for _ in $(seq 1 50); do
      if [[ -z "$first" ]] || ! kill -0 "$first" 2>/dev/null; then break; fi
      sleep 0.1
    done
    exit "$1"
  }
  trap 'net_end 130' INT
  trap 'net_end 143' TERM HUP
  wait $child
  exit $?
fi

# Inside the namespaces, as their first process.
shift
export NET_DIR=$1
shift
# shellcheck source=network.sh
source "$here/network.sh"

net_failed() {
  net_log "$1; logs follow"
  net_show_logs
  exit 125
}

net_setup || net_failed "setting up the namespace failed"
net_start_dbus || net_failed "D-Bus did not start"
net_start_avahi || net_failed "avahi-daemon did not start"
net_start_silent
net_start_dns
net_start_farm
net_start_tls || net_failed "the TLS servers did not start"
net_start_wsd || net_failed "the WSD devices did not start"
net_start_ippeve
net_start_printsrv || net_failed "printsrv did not start"
net_start_sued || net_failed "druck-sued did not start"
net_start_cups || net_failed "the program's server did not start"

# ---- Samba: tests/network/samba.sh (smb_start, smb_stop), when there is one.
if [[ "${NET_SAMBA:-}" == 1 ]]; then
  [[ -f "$here/samba.sh" ]] || net_failed "NET_SAMBA=1 but there is no samba.sh"
  # shellcheck disable=SC1091
  source "$here/samba.sh"
  # Samba's folder is its own, outside NET_DIR: removed however this ends.
  trap smb_stop EXIT
  # The guests' server on the address DNS-SD gives the namespace's host, so
  # that what it advertises leads to it.
  smb_start 127.0.0.1 127.0.0.5 || net_failed "Samba did not start"
  net_add_smb_queues || net_failed "the SMB queues could not be added"
  if [[ "${NET_SAMBA_DC:-}" == 1 ]]; then
    smb_start_dc 127.0.0.9 || net_failed "the domain controller did not start"
    net_add_remote "SMB-Domain" "smb://dc1.lab.test/Drucker1" ||
      net_failed "the domain's queue could not be added"
  fi
fi

net_wait_ready || net_failed "the network did not get ready"

export CUPS_SERVER NET_CUPS_PORT NET_CUPS_DIR NET_CUPS_ACCESS_LOG
export NET_PRINTSRV_SERVER NET_PRINTSRV_PORT NET_PRINTSRV_DIR NET_PRINTSRV_ACCESS_LOG
export NET_IPPEVE_PORT NET_IPPEVE_NAME NET_IPPEVE_LOG NET_HOSTNAME NET_DNSSD_NAMES
export NET_SUED_HOST NET_SUED_PORT NET_SUED_ADDRESS=$net_sued_address NET_SUED_SERVER
export NET_PRINTSRV_QUEUES NET_FARM_DIR NET_FARM_ANSWERING NET_FARM_DOWN_NAMES
export NET_DNSSD_SERVICE_NAMES NET_DNSSD_OTHER_NAMES NET_DNSSD_BROWSED NET_TLS_DIR NET_IPV6
export NET_UNICAST_NAMES
export NET_WSD_DIR
export NET_SILENT_DIR="$NET_DIR/silent"

"$@"
status=$?

if [[ "${NET_SAMBA:-}" == 1 ]]; then smb_stop; fi
cups_stop
# Everything else ends with this process, the namespace's first.
exit $status
