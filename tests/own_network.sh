#!/usr/bin/env bash
# Runs a command in a network namespace of its own, with loopback up and
# nothing else, so that a test that starts the program outside the private
# network (tests/network/) sends nothing to the machine's network: the
# program's WS-Discovery Probes and DNS-SD queries stay on the namespace's
# loopback. Unix sockets (a private CUPS server's, a D-Bus bus) reach across.
#
#   own_network.sh COMMAND [ARGS...]
#
# As root a new network namespace; otherwise a user namespace too. Where
# neither can be made the command does not run: exits 77 and says why.
set -uo pipefail
if [[ "${QUELVARO_OWN_NETWORK:-}" == 1 ]]; then
  ip link set lo up 2>/dev/null || true
  exec "$@"
fi
how=(--net)
[[ $(id -u) -eq 0 ]] || how=(--net --user --map-root-user)
if ! unshare "${how[@]}" true 2>/dev/null; then
  source "$(dirname "$0")/checks.sh"
  skip "$(basename "${2:-$1}")" "no network namespace of its own can be made here (unshare ${how[*]}), and the program would send its WS-Discovery Probes and DNS queries to the machine's network"
  exit 77
fi
QUELVARO_OWN_NETWORK=1 exec unshare "${how[@]}" "$0" "$@"
