#!/bin/bash
# The private network works: what is advertised by DNS-SD (written to the log
# in full), the queues of the program's server and which of them CUPS calls
# remote, hosts that never answer, and that nothing outside the network's
# temporary folder changed.
#
#   network_smoke.sh          run as root; 77 (skipped) without the namespaces
#
# The checks that need the network run in it: this script again, with
# --inside.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../checks.sh
source "$here/../checks.sh"

# ---- Inside the network.

same_lines() { [[ "$1" == "$2" ]] || { printf 'expected:\n%s\ngot:\n%s\n' "$1" "$2"; false; }; }

# The field of a browse.py line for the service NAME.
service_field() {
  awk -F'\t' -v name="$2" -v field="$3" '$1 == name { print $field }' <<<"$1"
}

# txt_has TXT STRING...: every STRING is one of the TXT record's.
txt_has() {
  local txt=$1 string
  shift
  for string in "$@"; do
    [[ "$txt" == *"\"$string\""* ]] || { echo "no \"$string\" in: $txt"; return 1; }
  done
}

# The program's server: its socket in the folder, a port other than 631.
own_server() {
  [[ "$CUPS_SERVER" == "$NET_DIR"/* && -S "$CUPS_SERVER" && "$NET_CUPS_PORT" != 631 ]] &&
    lpstat -h "localhost:$NET_CUPS_PORT" -r >/dev/null
}

comment() { sed 's/^/#   /'; }

# The queues of the CUPS server at URI (CUPS-Get-Printers): name,device-uri,
# printer-type, a line each.
queue_table() {
  ipptool -c "$1" /dev/stdin <<'TEST' | tail -n +2
{
  OPERATION CUPS-Get-Printers
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR keyword requested-attributes printer-name,device-uri,printer-type
  DISPLAY printer-name
  DISPLAY device-uri
  DISPLAY printer-type
}
TEST
}

# remote_bit NAME 2|0: the queue NAME of $queues has the remote bit of
# printer-type (2), or has not (0).
remote_bit() {
  local type
  type=$(awk -F, -v name="$1" '$1 == name { print $3 }' <<<"$queues")
  [[ -n "$type" ]] && (( (type & 2) == ${2} ))
}

# connect_hangs HOST PORT: no connection within 2 s, and no refusal either.
connect_hangs() {
  timeout 2 bash -c "exec 3<>/dev/tcp/$1/$2" 2>/dev/null
  [[ $? == 124 ]]
}

# Connects, sends a request, and gets not a byte back within 2 s.
accepts_silently() {
  python3 - "$1" "$2" <<'PY'
import socket, sys
sock = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=2)
sock.sendall(b"GET / HTTP/1.1\r\nHost: localhost\r\n\r\n")
try:
    sock.recv(1)
except socket.timeout:
    sys.exit(0)
sys.exit(1)
PY
}

inside() {
  echo "$NET_DIR" >>"$NET_SMOKE_WORK/net-dirs"
  echo "# the network was up after $(( ($(date +%s%N) - NET_SMOKE_START) / 1000000 )) ms"
  echo "# hosts: $(getent hosts printsrv etikett deadhost dead10 silent1 | tr -s ' \n' ' ')"
  local type services
  for type in _ipp._tcp _ipps._tcp; do
    services=$(python3 "$here/browse.py" "$type")
    echo "# $type (name, host, address, port, TXT):"
    comment <<<"$services"
    check "$type: exactly the four services" \
      same_lines "$NET_DNSSD_NAMES" "$(cut -f1 <<<"$services")"
    check "$type: druck-sued's on $NET_SUED_HOST, the others on $NET_HOSTNAME" \
      same_lines "$(printf '%s\n' 127.0.0.1 127.0.0.1 127.0.0.1 "$NET_SUED_ADDRESS" | sort)" \
      "$(cut -f3 <<<"$services" | sort)"
  done
  services=$(python3 "$here/browse.py" _ipp._tcp)
  local ippeve shared geteilt
  ippeve=$(service_field "$services" "$NET_IPPEVE_NAME" 5)
  shared=$(service_field "$services" "Shared printer @ quelvaro-net" 5)
  geteilt=$(service_field "$services" "Geteilter Drucker Süd @ quelvaro-net" 5)
  check "ippeveprinter: port 8631" \
    same_lines 8631 "$(service_field "$services" "$NET_IPPEVE_NAME" 4)"
  check "ippeveprinter: rp, ty and note" \
    txt_has "$ippeve" rp=ipp/print "ty=Belvantro Etikett 42" "note=Lager Süd"
  check "printsrv: port 631" \
    same_lines 631 "$(service_field "$services" "Shared printer @ quelvaro-net" 4)"
  check "printsrv: rp, note and printer-type (Shared)" \
    txt_has "$shared" rp=printers/Shared "note=Floor 1" printer-type=0x6
  check "printsrv: rp, note and printer-type (Geteilt-Süd)" \
    txt_has "$geteilt" "rp=printers/Geteilt-Süd" "note=Flur Süd" printer-type=0x6
  check "druck-sued: port $NET_SUED_PORT, its own host name" same_lines \
    "$NET_SUED_HOST $NET_SUED_PORT" \
    "$(service_field "$services" "Plotter Süd @ quelvaro-net" 2) $(service_field "$services" "Plotter Süd @ quelvaro-net" 4)"
  check "druck-sued: no TLS to offer" bash -c \
    '! timeout 5 openssl s_client -connect "$1" </dev/null >/dev/null 2>&1' _ \
    "$NET_SUED_ADDRESS:$NET_SUED_PORT"
  check "only the CUPS servers' queues in the _cups subtype" same_lines \
    $'Geteilter Drucker Süd @ quelvaro-net\nPlotter Süd @ quelvaro-net\nShared printer @ quelvaro-net' \
    "$(python3 "$here/browse.py" --names _cups._sub._ipp._tcp)"
  # ippfind gives up on a printer it could not resolve within its time, as
  # can happen on a machine that is busy: it is asked up to three times.
  local found tries
  local three="ipp://druck-sued.local:8632/printers/S%C3%BCd_Plotter
ipp://quelvaro-net.local:631/printers/Geteilt-S%C3%BCd
ipp://quelvaro-net.local:631/printers/Shared
ipp://quelvaro-net.local:8631/ipp/print"
  for tries in 1 2 3; do
    found=$(timeout 10 ippfind -T 3 _ipp._tcp 2>/dev/null | LC_ALL=C sort)
    [[ "$found" == "$three" ]] && break
  done
  echo "# ippfind (try $tries): $(tr '\n' ' ' <<<"$found")"
  check "ippfind finds the four printers" same_lines "$three" "$found"

  check "printsrv answers by name" same_lines "$NET_PRINTSRV_QUEUES" \
    "$(queue_table ipp://printsrv:631/ | cut -d, -f1 | LC_ALL=C sort)"
  check "the IPP Everywhere printer answers by name" \
    ipptool -q "ipp://etikett:8631/ipp/print" get-printer-attributes.test
  check "the program's server is on its socket and a port of its own" own_server

  local uris
  uris=$(lpstat -v | LC_ALL=C sort)
  echo "# lpstat -v:"
  comment <<<"$uris"
  check "lpstat -v: the queues and their URIs" same_lines "device for !!Hidden: ///dev/null
device for Büro-Drucker: ///dev/null
device for Etikett: ipp://etikett:8631/ipp/print
device for Fern-Büro: ipp://printsrv/printers/Shared
device for Fern-Zwei: ipps://printsrv:631/printers/Geteilt-S%C3%BCd
device for Kasse€2: ///dev/null
device for Lab!!2: ///dev/null
device for Nirgendwo: ipp://deadhost/printers/gone
device for Office: ///dev/null
device for Printer🖨Emoji: ///dev/null
device for 打印机: ///dev/null" "$uris"

  # lpstat -e (cupsGetDests) adds the printers it finds by DNS-SD.
  echo "# lpstat -e: $(lpstat -e | tr '\n' ' ')"
  queues=$(queue_table "ipp://localhost:$NET_CUPS_PORT/")
  echo "# CUPS-Get-Printers: printer-name, device-uri, printer-type:"
  comment <<<"$queues"
  local name
  # Etikett, on a printer that is no CUPS server, is remote by its PPD.
  for name in Fern-Büro Fern-Zwei Etikett Nirgendwo; do
    check "$name is remote (printer-type 0x2)" remote_bit "$name" 2
  done
  for name in Office "Büro-Drucker"; do
    check "$name is not remote" remote_bit "$name" 0
  done

  check "deadhost:631: no connection within 2 s" connect_hangs deadhost 631
  check "dead10:631: no connection within 2 s" connect_hangs dead10 631
  check "silent1:631 takes the connection and answers nothing" accepts_silently silent1 631
  check "silent3:631 likewise" accepts_silently silent3 631
  check "the silent listener counted the connection" \
    same_lines 1 "$(cat "$NET_SILENT_DIR/silent1/connections" 2>/dev/null)"
  checks_summary
}

if [[ "${1:-}" == --inside ]]; then
  inside
  exit
fi

# ---- Outside: start the network twice, and look at what it leaves behind.

# What a file or folder is now: its listing and contents' checksum, or absent.
state_of() {
  if [[ -e "$1" ]]; then
    ls -la --time-style=full-iso "$1"
    if [[ -f "$1" ]]; then sha256sum "$1"; fi
  else
    echo absent
  fi
}

# The network's folders are noted here, to see that they are gone after.
NET_SMOKE_WORK=$(mktemp -d /tmp/quelvaro-netsmoke.XXXXXX)
export NET_SMOKE_WORK
trap 'rm -rf "$NET_SMOKE_WORK"' EXIT

watched=(/etc/hosts /etc/resolv.conf /run/cups/printcap /run/cups /run/dbus /etc/cups/ssl /etc/avahi/services /etc/avahi/hosts)
declare -A before
for path in "${watched[@]}"; do before[$path]=$(state_of "$path"); done

NET_SMOKE_START=$(date +%s%N) CHECK_PREFIX="inside: " \
  "$here/private_network.sh" bash "$here/network_smoke.sh" --inside
status=$?
if [[ $status == 77 ]]; then exit 77; fi
check "every check inside the network passed" test "$status" == 0

# The options: more queues on dead and silent hosts; the command's status
# comes back.
# shellcheck disable=SC2016  # expanded by the inner shell
NET_DEAD_QUEUES=10 NET_SILENT_QUEUES=3 "$here/private_network.sh" bash -c '
  echo "$NET_DIR" >>"$NET_SMOKE_WORK/net-dirs"
  names=$(lpstat -v | grep -c -E "^device for (Tot([1-9]|10): ipp://dead([1-9]|10)/|Still[1-3]: ipp://silent[1-3]/)")
  [[ $names == 13 ]] || { echo "# Tot1..Tot10 and Still1..Still3: $names of 13"; exit 1; }
  exit 3'
check "NET_DEAD_QUEUES and NET_SILENT_QUEUES add the queues; the status comes back" \
  test $? == 3

for path in "${watched[@]}"; do
  check "$path is as it was" same_lines "${before[$path]}" "$(state_of "$path")"
done
# Both networks' folders: under /tmp, and gone.
folders_gone() {
  local folder count=0
  while read -r folder; do
    [[ "$folder" == /tmp/quelvaro-net.* && ! -e "$folder" ]] || return 1
    count=$((count + 1))
  done <"$NET_SMOKE_WORK/net-dirs"
  [[ $count == 2 ]]
}
check "the temporary folders are gone" folders_gone
checks_summary
