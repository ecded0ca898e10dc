# A private CUPS server for the tests, to be sourced by bash.
#
#   cups_start             start cupsd with its configuration in a new temporary
#                          folder, listening on a Unix socket there and on one
#                          free loopback port only; exports CUPS_SERVER (the
#                          socket), and sets CUPS_DIR, CUPS_PORT and
#                          CUPS_ACCESS_LOG. Everything it writes (the printcap
#                          file included) stays in that folder. Read when set:
#                            CUPS_START_IN      make the folder in this one
#                                               (default /tmp)
#                            CUPS_START_PORT    the loopback port to use
#                            CUPS_START_LISTEN  more addresses to listen on
#                                               (ADDR:PORT, blank-separated)
#                            CUPS_START_TLS=1   take plain HTTP from no
#                                               peer off the loopback
#                                               ("426 Upgrade Required"):
#                                               TLS, with a certificate
#                                               cupsd makes itself
#                            CUPS_START_DNSSD=1 advertise the shared queues
#                                               by DNS-SD (needs avahi-daemon,
#                                               and a CUPS_START_LISTEN address
#                                               off the loopback: cupsd shares
#                                               nothing it only serves there)
#                            CUPS_START_DNSSD_HOST  the host name the DNS-SD
#                                               services name (DNSSDHostName)
#                            CUPS_START_NO_TLS=1  no TLS at all: no
#                                               certificate, none made, so
#                                               a TLS handshake ends at once
#   cups_add_queue NAME shared|unshared [INFO [LOCATION]]
#                          add a file-device queue writing to /dev/null
#                          (location "Room 1" unless given)
#   cups_add_test_queues   the queues the end-to-end tests use
#   cups_add_remote_queue NAME [INFO]
#                          add a queue that points at a queue of a second
#                          private server (started on first use, on a
#                          loopback port of its own, stopped by cups_stop);
#                          CUPS gives such a queue the remote bit of
#                          printer-type
#   cups_stop              stop the server and remove its folder (safe to call
#                          twice, and from an EXIT trap)
#
# Needs cups-daemon and cups-client; scripts/test installs them.

cups_free_port() {
  python3 - <<'PY'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
PY
}

cups_start() {
  CUPS_DIR=$(mktemp -d "${CUPS_START_IN:-/tmp}/quelvaro-cups.XXXXXX") || return 1
  CUPS_PORT=${CUPS_START_PORT:-$(cups_free_port)}
  CUPS_ACCESS_LOG="$CUPS_DIR/log/access_log"
  mkdir -p "$CUPS_DIR"/{conf/ppd,conf/ssl,spool/tmp,cache,state,log}
  chmod 755 "$CUPS_DIR"
  local address listen="" browsing="Browsing No" protocols="BrowseLocalProtocols none"
  for address in ${CUPS_START_LISTEN:-}; do
    listen+="Listen $address"$'\n'
  done
  if [[ "${CUPS_START_DNSSD:-}" == 1 ]]; then
    browsing="Browsing Yes" protocols="BrowseLocalProtocols dnssd"
    [[ -z "${CUPS_START_DNSSD_HOST:-}" ]] ||
      protocols+=$'\n'"DNSSDHostName $CUPS_START_DNSSD_HOST"
  fi
  local encryption="" tls_files="" aliases=""
  if [[ "${CUPS_START_TLS:-}" == 1 ]]; then
    # Reached by names of its own (secure-srv, secure-up): any name.
    aliases="ServerAlias *"
    encryption="  Encryption Required"
    tls_files="CreateSelfSignedCerts yes
ServerKeychain $CUPS_DIR/conf/ssl"
  elif [[ "${CUPS_START_NO_TLS:-}" == 1 ]]; then
    tls_files="CreateSelfSignedCerts no
ServerKeychain $CUPS_DIR/conf/ssl"
  fi
  cat >"$CUPS_DIR/conf/cupsd.conf" <<CONF
Listen $CUPS_DIR/cups.sock
Listen 127.0.0.1:$CUPS_PORT
$listen$browsing
$aliases
$protocols
DefaultShared No
WebInterface No
LogLevel warn
AccessLogLevel all
MaxLogSize 0
Timeout 30
<Location />
  Order allow,deny
  Allow from all
$encryption
</Location>
<Location /admin>
  Order allow,deny
  Allow from all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cat >"$CUPS_DIR/conf/cups-files.conf" <<CONF
ServerRoot $CUPS_DIR/conf
RequestRoot $CUPS_DIR/spool
TempDir $CUPS_DIR/spool/tmp
CacheDir $CUPS_DIR/cache
StateDir $CUPS_DIR/state
AccessLog $CUPS_ACCESS_LOG
ErrorLog $CUPS_DIR/log/error_log
PageLog $CUPS_DIR/log/page_log
Printcap $CUPS_DIR/printcap
FileDevice Yes
Sandboxing Relaxed
SystemGroup root
$tls_files
CONF
  touch "$CUPS_DIR/conf/printers.conf" "$CUPS_DIR/conf/classes.conf"
  /usr/sbin/cupsd -f -c "$CUPS_DIR/conf/cupsd.conf" -s "$CUPS_DIR/conf/cups-files.conf" \
    >"$CUPS_DIR/log/cupsd.out" 2>&1 &
  CUPS_PID=$!
  export CUPS_SERVER="$CUPS_DIR/cups.sock"
  local i
  for i in $(seq 1 100); do
    if [[ -S "$CUPS_SERVER" ]] && lpstat -r >/dev/null 2>&1; then
      return 0
    fi
    if ! kill -0 "$CUPS_PID" 2>/dev/null; then break; fi
    sleep 0.1
  done
  echo "private cupsd did not start:" >&2
  cat "$CUPS_DIR/log/cupsd.out" "$CUPS_DIR/log/error_log" >&2 2>/dev/null || true
  return 1
}

cups_add_queue() {
  local name=$1 shared=${2:-unshared} info=${3:-} location=${4:-Room 1}
  local flag=false
  [[ "$shared" == shared ]] && flag=true
  lpadmin -p "$name" -E -v file:///dev/null -m raw \
    -o printer-is-shared=$flag ${info:+-D "$info"} -L "$location" 2>/dev/null
}

cups_add_test_queues() {
  cups_add_queue Office shared "Office laser"
  cups_add_queue "Büro-Drucker" unshared "Ümlaut queue"
  cups_add_queue "Kasse€2" shared
  cups_add_queue "打印机" unshared
  cups_add_queue "Printer🖨Emoji" shared
  cups_add_queue "!!Hidden" unshared
  cups_add_queue "Lab!!2" shared
}

# The file-device queues queue-0001 to queue-N (every second one shared,
# information "Queue N"), the first by lpadmin and the others made like it
# while the server is stopped: cupsd writes its whole printers.conf at each
# lpadmin, which for thousands of queues takes many minutes. Waits until the
# restarted server lists them all.
# cups_clone_queue FIRST COUNT FORMAT [EDITS]: queues 2 to COUNT named as
# printf writes FORMAT with their number, made like FIRST while the server is
# stopped (cupsd writes its whole printers.conf at each lpadmin, which for
# thousands of queues takes tens of minutes); EDITS are awk statements that
# change each one's block `out` (its number `i`, its name `name`). Returns
# once the restarted server lists the last.
cups_clone_queue() {
  local first_name=$1 count=$2 format=$3 edits=${4:-} conf="$CUPS_DIR/conf/printers.conf"
  local first last i
  [[ $count -gt 1 ]] || return 0
  kill "$CUPS_PID" && wait "$CUPS_PID" 2>/dev/null
  first=$(sed -n "/^<Printer $first_name>\$/,/^<\\/Printer>\$/p" "$conf" | grep -v '^UUID ')
  [[ -n "$first" ]] || return 1
  awk -v n="$count" -v block="$first" -v format="$format" -v first_name="$first_name" "BEGIN {
    for (i = 2; i <= n; i++) {
      name = sprintf(format, i)
      out = block
      sub(\"<Printer \" first_name \">\", \"<Printer \" name \">\", out)
      sub(/PrinterId [0-9]+/, \"PrinterId \" (1000 + i), out)
      $edits
      print out
    }
  }" >>"$conf" || return 1
  rm -f "$CUPS_SERVER"
  /usr/sbin/cupsd -f -c "$CUPS_DIR/conf/cupsd.conf" -s "$CUPS_DIR/conf/cups-files.conf" \
    >>"$CUPS_DIR/log/cupsd.out" 2>&1 &
  CUPS_PID=$!
  # It answers once it has read every queue.
  last=$(printf "$format" "$count")
  for i in $(seq 1 $((300 + count / 10))); do
    if lpstat -v "$last" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "the private server did not list $last" >&2
  return 1
}

cups_add_many_queues() {
  local count=$1
  cups_add_queue queue-0001 unshared "Queue 1" &&
    cups_clone_queue queue-0001 "$count" 'queue-%04d' '
      sub(/Info [^\n]*/, "Info Queue " i, out)
      sub(/Shared [^\n]*/, "Shared " (i % 2 == 0 ? "Yes" : "No"), out)'
}

cups_add_remote_queue() {
  local name=$1 info=${2:-}
  if [[ -z "${CUPS_REMOTE_PID:-}" ]]; then
    # The second server, started with cups_start itself; the first one's
    # settings are put back afterwards.
    local server=$CUPS_SERVER dir=$CUPS_DIR port=$CUPS_PORT
    local log=$CUPS_ACCESS_LOG pid=$CUPS_PID started=0
    CUPS_PID=
    if CUPS_START_PORT="" CUPS_START_LISTEN="" CUPS_START_DNSSD="" cups_start &&
       cups_add_queue Shared shared "Shared on the second server"; then
      started=1
    fi
    CUPS_REMOTE_PID=$CUPS_PID CUPS_REMOTE_DIR=$CUPS_DIR CUPS_REMOTE_PORT=$CUPS_PORT
    CUPS_DIR=$dir CUPS_PORT=$port CUPS_ACCESS_LOG=$log CUPS_PID=$pid
    export CUPS_SERVER=$server
    [[ $started == 1 ]] || return 1
  fi
  lpadmin -p "$name" -E -v "ipp://127.0.0.1:$CUPS_REMOTE_PORT/printers/Shared" -m raw \
    ${info:+-D "$info"} -L "Room 2" 2>/dev/null
}

cups_stop() {
  if [[ -n "${CUPS_REMOTE_PID:-}" ]]; then
    kill "$CUPS_REMOTE_PID" 2>/dev/null || true
    wait "$CUPS_REMOTE_PID" 2>/dev/null || true
    CUPS_REMOTE_PID=
  fi
  if [[ -n "${CUPS_REMOTE_DIR:-}" && -d "$CUPS_REMOTE_DIR" ]]; then
    rm -rf "$CUPS_REMOTE_DIR"
    CUPS_REMOTE_DIR=
  fi
  if [[ -n "${CUPS_PID:-}" ]]; then
    kill "$CUPS_PID" 2>/dev/null || true
    wait "$CUPS_PID" 2>/dev/null || true
    CUPS_PID=
  fi
  if [[ -n "${CUPS_DIR:-}" && -d "$CUPS_DIR" ]]; then
    rm -rf "$CUPS_DIR"
    CUPS_DIR=
  fi
}
