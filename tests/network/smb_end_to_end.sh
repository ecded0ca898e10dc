#!/usr/bin/env bash
# The SMB printer-share listing against private Samba servers, in a network
# of the test's own:
#
#   smb_end_to_end.sh SMB_SHARES_TESTS
#
# SMB_SHARES_TESTS is the gtest binary (tests/smb_shares_test.cc). As root it
# makes new net, mount and pid namespaces (everything started inside ends
# with them), starts the servers of samba.sh there, routes SMB_DEAD_SERVER
# into a tun device nobody reads (its SYNs are dropped, so a connect waits),
# names two servers in a hosts file of its own (mounted over /etc/hosts in
# the namespace), and runs the tests with their addresses and names in the
# environment, and no Kerberos ticket. Their standard error must stay empty,
# and the servers must have seen no session set up by NTLM as a user. Every
# file goes to a temporary folder under /tmp, removed at the end. Exits 77
# (skipped) when not root or the namespaces are refused.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)

if [[ "${1:-}" != --inside ]]; then
  tests=${1:?usage: smb_end_to_end.sh SMB_SHARES_TESTS}
  if [[ $(id -u) != 0 ]] || ! unshare --net --mount --pid --fork true 2>/dev/null; then
    # shellcheck source=../checks.sh
    source "$here/../checks.sh"
    skip "smb end to end" "needs root and unshare (net, mount, pid)"
    exit 77
  fi
  work=$(mktemp -d /tmp/quelvaro-smb-e2e.XXXXXX) || exit 1
  trap 'rm -rf "$work"' EXIT
  # --kill-child: should unshare end first, the namespace's first process
  # ends, and everything inside with it.
  unshare --net --mount --pid --fork --kill-child --mount-proc --propagation private \
    bash "$0" --inside "$work" "$tests"
  exit $?
fi

work=$2
tests=$3
# shellcheck source=../checks.sh
source "$here/../checks.sh"
# shellcheck source=samba.sh
source "$here/samba.sh"
trap smb_stop EXIT

ip link set lo up || exit 1
ip tuntap add dev qsmb0 mode tun &&
  ip link set qsmb0 up &&
  ip addr add 192.0.2.1/24 dev qsmb0 || exit 1
export SMB_DEAD_SERVER=192.0.2.9

smb_start || { echo "not ok - private Samba servers started"; exit 1; }

# The SMB1 server by name; and a name whose first address refuses
# connections (nothing listens on 127.0.0.8), its second SMB_SERVER's.
printf '127.0.0.1 localhost\n%s smbalt\n127.0.0.8 drucker-süd\n%s drucker-süd\n' \
  "$SMB_SMB1_SERVER" "$SMB_SERVER" >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts || exit 1
export SMB_SMB1_NAME=smbalt SMB_TWO_ADDRESS_NAME=drucker-süd
# Asked by name, a server is asked with the user's ticket first: there is none.
export KRB5_CONFIG=/dev/null KRB5CCNAME=FILE:$work/ccache

# The tests; gtest writes its report to standard output, so anything on
# standard error is the listing's.
run_tests() {
  TEST_TMPDIR="$work" "$tests" >"$work/tests.out" 2>"$work/tests.err"
  local status=$?
  cat "$work/tests.out"
  return $status
}
quiet() {
  [[ ! -s "$work/tests.err" ]] || { cat "$work/tests.err"; return 1; }
}

# How the servers saw the sessions set up (samba.sh): anonymously or by
# Kerberos, never by NTLM as a user.
no_ntlm_as_a_user() {
  local logs=("$SMB_DIR"/*/log/log.*)
  grep -q 'Successful AuthZ: \[SMB' "${logs[@]}" &&
    ! grep -h 'Successful AuthZ: \[SMB' "${logs[@]}" | grep -qv -e 'ANONYMOUS LOGON' -e ',krb5\]' &&
    ! grep -h 'Auth: \[SMB' "${logs[@]}" | grep -qv 'user \[\]\\\[\]'
}

check "ListSmbPrinterShares against the private servers" run_tests
check "nothing on standard error" quiet
check "no session set up by NTLM as a user" no_ntlm_as_a_user
checks_summary
