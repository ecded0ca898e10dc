#!/usr/bin/env bash
# scripts/install-packages on a day the package mirror is part way through a
# sync, against a package repository of the test's own:
#
#   install_packages_test.sh
#
# apt-get and dpkg are pointed at a temporary folder (APT_CONFIG, with no
# configuration of the machine's read, and DPKG_ADMINDIR): the repository
# has a list that is whole ("good": qv-a, and qv-b, which depends on qv-c)
# and one whose index grew after its Release file was written ("syncing":
# qv-c), as a mirror's does mid-sync. The packages hold no files, so dpkg
# writes nothing outside that folder either. As root, else as root of a user
# namespace of its own; 77 (skipped) where neither can be had.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
install_packages="$here/../scripts/install-packages"
# shellcheck source=../checks.sh
source "$here/checks.sh"

if [[ $(id -u) -ne 0 ]]; then
  if unshare --user --map-root-user true 2>/dev/null; then
    exec unshare --user --map-root-user bash "$0" "$@"
  fi
  skip "install-packages" "needs root, or a user namespace of its own"
  exit 77
fi

work=$(mktemp -d /tmp/quelvaro-apt-test.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
repo="$work/repo"

# deb NAME [DEPENDS]: a package of no files.
deb() {
  mkdir -p "$work/src/$1/DEBIAN" "$repo/pool"
  printf 'Package: %s\nVersion: 1.0\nArchitecture: all\nMaintainer: Tests <tests@example.org>\n%sDescription: test package\n' \
    "$1" "${2:+Depends: $2$'\n'}" >"$work/src/$1/DEBIAN/control"
  dpkg-deb -b --root-owner-group "$work/src/$1" "$repo/pool/$1.deb" >/dev/null
}
# suite SUITE NAME...: the suite's index of those packages, and its Release.
suite() {
  local suite=$1 list="$repo/dists/$1/main/binary-amd64" name
  shift
  mkdir -p "$list"
  for name in "$@"; do
    dpkg-deb -f "$repo/pool/$name.deb" Package Version Architecture Maintainer Depends Description
    printf 'Filename: pool/%s.deb\nSize: %s\nSHA256: %s\n\n' "$name" \
      "$(stat -c %s "$repo/pool/$name.deb")" "$(sha256sum <"$repo/pool/$name.deb" | cut -d' ' -f1)"
  done >"$list/Packages"
  printf 'Suite: %s\nCodename: %s\nArchitectures: amd64\nComponents: main\nDate: %s\nSHA256:\n %s %s main/binary-amd64/Packages\n' \
    "$suite" "$suite" "$(date -Ru)" "$(sha256sum <"$list/Packages" | cut -d' ' -f1)" \
    "$(stat -c %s "$list/Packages")" >"$repo/dists/$suite/Release"
}

deb qv-a
deb qv-b qv-c
deb qv-c
suite good qv-a qv-b
suite syncing qv-c
echo >>"$repo/dists/syncing/main/binary-amd64/Packages"

mkdir -p "$work"/{parts,sources.d,state/lists/partial,cache/archives/partial,log,dpkg/updates,dpkg/info}
: >"$work/dpkg/status"
printf 'deb [trusted=yes] file:%s good main\ndeb [trusted=yes] file:%s syncing main\n' \
  "$repo" "$repo" >"$work/sources.list"
cat >"$work/apt.conf" <<CONF
Dir::Etc::main "/dev/null";
Dir::Etc::parts "$work/parts";
Dir::Etc::sourcelist "$work/sources.list";
Dir::Etc::sourceparts "$work/sources.d";
Dir::State "$work/state";
Dir::State::status "$work/dpkg/status";
Dir::Cache "$work/cache";
Dir::Log "$work/log";
APT::Architectures { "amd64"; };
APT::Sandbox::User "root";
Acquire::Languages "none";
DPkg::Options { "--admindir=$work/dpkg"; "--log=$work/log/dpkg.log"; };
CONF
export APT_CONFIG="$work/apt.conf" DPKG_ADMINDIR="$work/dpkg"
export QUELVARO_APT_UPDATED="$work/updated" QUELVARO_NOT_INSTALLED="$work/not-installed"
: >"$QUELVARO_APT_UPDATED"

# install OUT PKG...: install-packages' status, its standard error in OUT.
install() {
  local out=$1
  shift
  "$install_packages" "$@" >"$out.stdout" 2>"$out"
  echo $? >"$out.status"
}
# same FILE TEXT: FILE holds exactly TEXT.
same() { diff -u <(printf '%s' "$2") "$1"; }
installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]; }

list="syncing/main/binary-amd64 (Hash Sum mismatch)"
why="apt-get could not install it (Unable to correct problems, you have held broken packages), with package lists not fetched: $list"
install "$work/first" qv-a qv-b
check "a list not fetched: said in one line, the others installed from, the package that needs it named" \
  same "$work/first" "installing: qv-a qv-b
package lists not fetched, installing from those there are: $list
could not install qv-b: $why
"
exited_1_quietly() { same "$work/first.status" $'1\n' && same "$work/first.stdout" ""; }
check "exit status 1, nothing on standard output" exited_1_quietly
only_qv_a() { installed qv-a && ! installed qv-b && ! installed qv-c; }
check "the package that could be had is installed, the other not" only_qv_a
check "the one that could not be had, and why, for the tests' skip reasons" \
  same "$QUELVARO_NOT_INSTALLED" "qv-b	$why
"

# Once the test command has updated, the lists are not fetched again: the
# mirror has caught up, and the next step still goes by the lists it had.
suite syncing qv-c
install "$work/again" qv-b
check "apt-get update once per test command" same "$work/again" "installing: qv-b
could not install qv-b: $why
"

: >"$QUELVARO_APT_UPDATED"
install "$work/synced" qv-a qv-b
caught_up() {
  same "$work/synced.status" $'0\n' && same "$work/synced" $'installing: qv-b\n' &&
    same "$QUELVARO_APT_UPDATED" $'updated\n' && installed qv-b && installed qv-c
}
check "the mirror caught up: installed, with its dependency" caught_up

install "$work/nothing" qv-a qv-b qv-c
nothing_to_do() { same "$work/nothing" "" && same "$work/nothing.status" $'0\n'; }
check "all there: nothing said, nothing asked of apt-get" nothing_to_do
checks_summary
