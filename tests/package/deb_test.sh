#!/usr/bin/env bash
# The Debian package of a native build, as a user gets it:
#
#   deb_test.sh BUILD_DIR PROGRAM VERSION [CPACK]
#
# makes the package with the build's cpack configuration in a temporary
# folder, unpacks it into a temporary root and checks: the files it holds;
# that `cmake --install` installs the same ones; its computed dependencies;
# lintian's verdict (no error); and that the packaged program's report is
# byte for byte the build's PROGRAM's, both run with CUPS_SERVER at a socket
# where no server listens and standard input at its end. Exits 77 (skipped)
# where dpkg-shlibdeps or lintian is missing.
set -uo pipefail

build=$1
program=$2
version=$3
cpack=${4:-cpack}
here=$(cd "$(dirname "$0")/.." && pwd)

for tool in dpkg-shlibdeps lintian; do
  if ! command -v "$tool" >/dev/null; then
    # shellcheck source=../checks.sh
    source "$here/checks.sh"
    skip "the Debian package" "$tool is not installed"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quelvaro-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT

# shellcheck source=../checks.sh
source "$here/checks.sh"
CHECK_PREFIX="package: "

deb="$work/quelvaro_${version}_$(dpkg --print-architecture).deb"
root="$work/root"

# The files under the prefix, one a line, sorted.
files_under() {  # DIR
  (cd "$1" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
}

make_package() {
  (cd "$work" && "$cpack" --config "$build/CPackConfig.cmake" -B "$work") \
    >"$work/cpack.log" 2>&1 && [[ -f "$deb" ]] && dpkg-deb -x "$deb" "$root" ||
    { cat "$work/cpack.log"; return 1; }
}

holds_its_files() {
  local wanted
  wanted=$(printf '%s\n' usr/bin/quelvaro usr/share/doc/quelvaro/changelog.gz \
    usr/share/doc/quelvaro/copyright usr/share/man/man1/quelvaro.1.gz)
  diff -u <(echo "$wanted") <(files_under "$root")
}

installs_the_same() {
  cmake --install "$build" --prefix "$work/prefix" --strip >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; return 1; }
  diff -u <(files_under "$root/usr") <(files_under "$work/prefix")
}

computed_depends() {
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  [[ "$depends" == *"libc6 (>= "* ]]
}

lintian_clean() {
  # Its scratch files (mldbm-elf-*, left behind) in the test's folder.
  TMPDIR=$work lintian --fail-on error "$deb"
}

# report PROGRAM OUT: PROGRAM's report with no server to ask.
report() {
  local status=0
  CUPS_SERVER="$work/no-server.sock" timeout 60 "$1" </dev/null >"$2" || status=$?
  echo "$status" >>"$2.status"
}

same_report() {
  report "$root/usr/bin/quelvaro" "$work/packaged.txt"
  report "$program" "$work/built.txt"
  cmp "$work/built.txt.status" "$work/packaged.txt.status" &&
    cmp "$work/built.txt" "$work/packaged.txt"
}

check "cpack makes $(basename "$deb")" make_package
if [[ -d "$root" ]]; then
  check "holds the program, the manual page, the copyright and the changelog" holds_its_files
  check "cmake --install installs the same files" installs_the_same
  check "computed Depends" computed_depends
  check "lintian finds no error" lintian_clean
  check "the packaged program's report is the build's" same_report
fi
checks_summary
