# shellcheck shell=bash
# Private Samba servers for the tests, to be sourced by bash inside new net,
# mount and pid namespaces whose lo is up (private_network.sh makes them; so
# can a test of its own with unshare). Everything Samba keeps goes to a new
# temporary folder; Samba's helpers, which log under /var/log/samba whatever
# their configuration says, get a tmpfs there (the mount namespace's own).
#
#   smb_start [ADDRESS [REFUSING_ADDRESS]]
#       starts five smbd, on loopback addresses (the first two 127.0.0.4 and
#       127.0.0.5 unless given), and waits until all answer:
#         SMB_SERVER           guests welcome (map to guest = bad user), three
#                              shares: the printers Etiketten ("Drucker im
#                              Büro – 2. OG") and Laser ("Laserdrucker"), in
#                              that order, then the disk share Daten; IPC$
#         SMB_REFUSING_SERVER  no guests (map to guest = never), and an
#                              anonymous session gets no IPC$ (restrict
#                              anonymous = 2): printers Kasse and Lager that
#                              nobody without a password sees
#         SMB_SMB1_SERVER      127.0.0.10, guests welcome, SMB1 only (server
#                              min and max protocol NT1): printers
#                              Nadeldrucker and Typenrad
#         SMB_NETBIOS_SERVER   127.0.0.11, guests welcome, port 139 only:
#                              printer Zeilendrucker
#         SMB_LONG_SERVER      127.0.0.12, guests welcome: printers named with
#                              255 A, 1,024 B, 65,000 C, "Ü-Lang-" and 150 Ü,
#                              then Drucker-0001 to Drucker-3000
#       exports those, SMB_DIR (the folder) and SMB_PRINTER_SHARES (the
#       first server's printer shares as "name<TAB>comment" lines, in order)
#   smb_ready ADDRESS [SECONDS [MIN_PROTOCOL]]
#       true once the server at ADDRESS answers an SMB request (at most
#       SECONDS, 20 unless given, spent waiting; offering dialects from
#       MIN_PROTOCOL, SMB2 unless given, on). A guest listing of
#       SMB_SERVER only works once samba-dcerpcd, which smbd starts on
#       demand, has its share service running: the first one takes a second
#       or two (0.7 s on the machine this was written on), which smb_start
#       spends.
#   smb_start_dc [ADDRESS]
#       after smb_start: provisions the domain LAB.TEST (NetBIOS LAB) in
#       SMB_DIR/dc and starts its DC, dc1.lab.test (the hosts file names it)
#       on ADDRESS (127.0.0.9 unless given), which lists its printer shares
#       Drucker1 and Drucker2 to domain users only (restrict anonymous = 2);
#       adds the user SMB_DC_USER (password SMB_DC_PASSWORD) and waits until
#       she gets a ticket. Exports those two and SMB_DC_KRB5_CONFIG, a
#       krb5.conf naming the DC as the realm's KDC. Needs /run on a tmpfs of
#       the namespace's (the DC's sockets stay in /run/samba: winbindd's
#       moved, every session setup fails), samba-ad-dc, samba-ad-provision
#       and krb5-user.
#   smb_stop
#       stops the servers and their helpers and removes the folder (safe to
#       call twice, and from an EXIT trap)
#
# Each server's log has every session setup (auth_audit:5): "Successful
# AuthZ: [SMB2,krb5]" for Kerberos, "[SMB2,NTLMSSP] user [NT AUTHORITY]\
# [ANONYMOUS LOGON]" for anonymous, an "Auth: [SMB2,...]" line with the user
# name and password type for NTLM ("[SMB,...]" over SMB1).
#
# Needs samba and smbclient.

# The shares of SMB_SERVER, as a listing of it must give them back.
SMB_PRINTER_SHARES=$'Etiketten\tDrucker im Büro – 2. OG\nLaser\tLaserdrucker'

# smb_repeat TEXT N: TEXT N times.
smb_repeat() {
  local spaces
  printf -v spaces '%*s' "$2" ''
  printf '%s' "${spaces// /$1}"
}

# smb_printer NAME COMMENT DIR: a printer share's section, for guests.
smb_printer() {
  printf '[%s]\n  comment = %s\n  path = %s/spool\n  printable = yes\n  guest ok = yes\n' \
    "$1" "$2" "$3"
}

# smb_write_conf DIR ADDRESS guests|refuse|smb1|nbt|long: DIR/smb.conf for one
# server (as smb_start describes them) whose state, locks, sockets and logs
# all stay in DIR.
smb_write_conf() {
  local dir=$1 address=$2 kind=$3 ports=445 i
  [[ $kind == nbt ]] && ports=139
  mkdir -p "$dir"/{lock,state,cache,pid,private,ncalrpc,binddns,usershares,log,spool,data}
  chmod 1777 "$dir/spool"
  {
    cat <<CONF
[global]
  server role = standalone server
  workgroup = QUELVARO
  netbios name = QUELVARO-$kind
  # A /8 mask: Samba takes an address it finds on no interface only with one.
  interfaces = $address/8
  bind interfaces only = yes
  disable netbios = yes
  smb ports = $ports
  lock directory = $dir/lock
  state directory = $dir/state
  cache directory = $dir/cache
  pid directory = $dir/pid
  private dir = $dir/private
  ncalrpc dir = $dir/ncalrpc
  binddns dir = $dir/binddns
  usershare path = $dir/usershares
  passdb backend = tdbsam:$dir/private/passdb.tdb
  log file = $dir/log/log.%m
  max log size = 0
  log level = 1 auth_audit:5
  panic action =
  printing = bsd
  # Printable shares of its own only, and nothing that would print: shares
  # are listed by the share service (srvsvc), spoolss is not needed.
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  guest account = nobody
CONF
    if [[ "$kind" != refuse ]]; then
      printf '  map to guest = bad user\n  restrict anonymous = 0\n'
    fi
    if [[ "$kind" == smb1 ]]; then
      printf '  server min protocol = NT1\n  server max protocol = NT1\n'
      smb_printer Nadeldrucker "Nadeldrucker im Lager" "$dir"
      smb_printer Typenrad Typenraddrucker "$dir"
    elif [[ "$kind" == nbt ]]; then
      smb_printer Zeilendrucker "Zeilendrucker im Keller" "$dir"
    elif [[ "$kind" == long ]]; then
      smb_printer "$(smb_repeat A 255)" "Kommentar $(smb_repeat k 290)" "$dir"
      smb_printer "$(smb_repeat B 1024)" "" "$dir"
      smb_printer "$(smb_repeat C 65000)" "" "$dir"
      smb_printer "Ü-Lang-$(smb_repeat Ü 150)" "" "$dir"
      for i in $(seq -w 1 3000); do smb_printer "Drucker-$i" "Drucker $i" "$dir"; done
    elif [[ "$kind" == guests ]]; then
      cat <<CONF
[Etiketten]
  comment = Drucker im Büro – 2. OG
  path = $dir/spool
  printable = yes
  guest ok = yes
[Laser]
  comment = Laserdrucker
  path = $dir/spool
  printable = yes
  guest ok = yes
[Daten]
  comment = Ablage
  path = $dir/data
  read only = yes
  guest ok = yes
CONF
    else
      cat <<CONF
  map to guest = never
  restrict anonymous = 2
[Kasse]
  comment = Kassendrucker
  path = $dir/spool
  printable = yes
[Lager]
  comment = Lagerdrucker
  path = $dir/spool
  printable = yes
CONF
    fi
  } >"$dir/smb.conf"
  # smbclient's own settings: nothing of its state outside DIR either.
  cat >"$dir/client.conf" <<CONF
[global]
  lock directory = $dir/client
  state directory = $dir/client
  cache directory = $dir/client
  private dir = $dir/client
  ncalrpc dir = $dir/client
  log file = $dir/log/smbclient.log
  client min protocol = SMB2
CONF
  mkdir -p "$dir/client"
}

# smb_run_server DIR: smbd in the foreground, in a session of its own: when it
# stops it sends SIGTERM to its whole process group (kill(0)), which with
# --no-process-group would be the test's, up to ctest. It starts
# samba-dcerpcd, which lives on after smbd, and the rpcd_ helpers.
smb_run_server() {
  local dir=$1
  smbd --foreground --configfile="$dir/smb.conf" >"$dir/log/smbd.out" 2>&1 &
  echo $! >"$dir/smbd.shell-pid"
}

# smb_answers ADDRESS [MIN_PROTOCOL]: what smbclient says when asked for the
# shares in an anonymous session; true when that is a listing or a refusal,
# which both come from smbd itself (not a connection that failed).
smb_answers() {
  local out
  out=$(timeout 10 smbclient --configfile="$SMB_DIR/client.conf" \
    --option="client min protocol=${2:-SMB2}" -U% -N -L "//$1" 2>&1)
  [[ $? -eq 0 ]] && return 0
  [[ "$out" == *NT_STATUS_ACCESS_DENIED* || "$out" == *NT_STATUS_LOGON_FAILURE* ]]
}

smb_ready() {
  local address=$1 seconds=${2:-20} i
  for i in $(seq 1 $((seconds * 5))); do
    smb_answers "$address" "${3:-}" && return 0
    sleep 0.2
  done
  return 1
}

smb_start() {
  local address=${1:-127.0.0.4} refusing=${2:-127.0.0.5} kind
  # Only in a network of its own: a default route is the machine's real one,
  # and the mounts below would then be the machine's too.
  if [[ -n "$(ip route show default 2>/dev/null)" ]]; then
    echo "samba.sh: not inside a private network namespace; not starting" >&2
    return 1
  fi
  # smbd (before it has read its configuration), samba-dcerpcd and its rpcd_
  # helpers log under /var/log/samba whatever the configuration says. That is
  # all they write outside it.
  if [[ -d /var/log/samba && $(findmnt -n -o FSTYPE --mountpoint /var/log/samba) != tmpfs ]]; then
    mount -n -t tmpfs -o mode=755 quelvaro-samba-log /var/log/samba || return 1
  fi
  SMB_DIR=$(mktemp -d /tmp/quelvaro-samba.XXXXXX) || return 1
  chmod 755 "$SMB_DIR"
  smb_write_conf "$SMB_DIR/guests" "$address" guests
  smb_write_conf "$SMB_DIR/refuse" "$refusing" refuse
  smb_write_conf "$SMB_DIR/smb1" 127.0.0.10 smb1
  smb_write_conf "$SMB_DIR/nbt" 127.0.0.11 nbt
  smb_write_conf "$SMB_DIR/long" 127.0.0.12 long
  cp "$SMB_DIR/guests/client.conf" "$SMB_DIR/client.conf"
  for kind in guests refuse smb1 nbt long; do smb_run_server "$SMB_DIR/$kind"; done
  export SMB_SERVER=$address SMB_REFUSING_SERVER=$refusing SMB_DIR SMB_PRINTER_SHARES \
    SMB_SMB1_SERVER=127.0.0.10 SMB_NETBIOS_SERVER=127.0.0.11 SMB_LONG_SERVER=127.0.0.12
  if smb_ready "$address" && smb_ready "$refusing" && smb_ready 127.0.0.10 20 NT1 &&
    smb_ready 127.0.0.11 && smb_ready 127.0.0.12; then
    return 0
  fi
  echo "samba.sh: the private Samba servers did not answer; their logs:" >&2
  tail -n 20 "$SMB_DIR"/*/log/* >&2 2>/dev/null
  return 1
}

SMB_DC_USER=anna
SMB_DC_PASSWORD='Anna-Pass-42!'

smb_start_dc() {
  local address=${1:-127.0.0.9} dir=$SMB_DIR/dc conf=$SMB_DIR/dc/domain/etc/smb.conf i
  mkdir -p /run/samba "$dir"/{spool,pid,log,ntp_signd} && chmod 1777 "$dir/spool" &&
    chmod 750 "$dir/ntp_signd" || return 1
  samba-tool domain provision --realm=LAB.TEST --domain=LAB --server-role=dc \
    --dns-backend=SAMBA_INTERNAL --host-name=dc1 --host-ip="$address" \
    --adminpass='Admin-Pass-42!' --targetdir="$dir/domain" \
    --option="interfaces = $address/8" --option="bind interfaces only = yes" \
    --option="dns forwarder = " --option="pid directory = $dir/pid" \
    --option="ntp signd socket directory = $dir/ntp_signd" \
    --option="log file = $dir/log/log.%m" --option="log level = 1 auth_audit:5" \
    --option="restrict anonymous = 2" \
    --option="printcap name = /dev/null" --option="disable spoolss = yes" \
    >"$dir/log/provision" 2>&1 &&
    printf '[Drucker%s]\n comment = %s\n path = %s\n printable = yes\n' 1 "Drucker im Flur" \
      "$dir/spool" 2 Farbdrucker "$dir/spool" >>"$conf" &&
    samba-tool user add -s "$conf" "$SMB_DC_USER" "$SMB_DC_PASSWORD" >/dev/null || return 1
  samba --foreground -s "$conf" >"$dir/log/samba.out" 2>&1 &
  echo $! >"$dir/smbd.shell-pid"
  export SMB_DC_KRB5_CONFIG=$dir/krb5.conf SMB_DC_USER SMB_DC_PASSWORD
  printf '[libdefaults]\n default_realm = LAB.TEST\n dns_lookup_kdc = false\n[realms]\n LAB.TEST = {\n  kdc = %s\n }\n' \
    "$address" >"$SMB_DC_KRB5_CONFIG"
  for i in $(seq 1 100); do
    KRB5_CONFIG=$SMB_DC_KRB5_CONFIG KRB5CCNAME=FILE:$dir/ready kinit "$SMB_DC_USER" \
      <<<"$SMB_DC_PASSWORD" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  tail -n 20 "$dir"/log/* >&2
  return 1
}

# smb_tree PID: PID and every process below it, by their ids.
smb_tree() {
  local child
  echo "$1"
  for child in $(pgrep -P "$1"); do smb_tree "$child"; done
}

smb_stop() {
  [[ -n "${SMB_DIR:-}" && -d "$SMB_DIR" ]] || return 0
  local dir pid pids=() i
  # smbd and what it started; samba-dcerpcd, which outlives it, and its
  # rpcd_ helpers. All must be gone before the folder is: they write to it
  # until they end.
  for dir in "$SMB_DIR"/*/; do
    for pid in $(cat "$dir/smbd.shell-pid" "$dir/pid/samba-dcerpcd.pid" 2>/dev/null); do
      [[ "$pid" =~ ^[0-9]+$ ]] && pids+=($(smb_tree "$pid"))
    done
  done
  kill "${pids[@]}" 2>/dev/null
  for i in $(seq 1 50); do
    kill -0 "${pids[@]}" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "${pids[@]}" 2>/dev/null
  for dir in "$SMB_DIR"/*/; do
    pid=$(cat "$dir/smbd.shell-pid" 2>/dev/null)
    [[ -n "$pid" ]] && wait "$pid" 2>/dev/null
  done
  rm -rf "$SMB_DIR"
  SMB_DIR=
}
