#!/usr/bin/env bash
# The top of the repository holds the project's own files and folders and
# nothing else: a file a stray command wrote there (a here-document gone
# wrong, a test's output) and committed by mistake fails this.
#
#   repository_top.sh SOURCE_DIR
#
# Outside a git checkout (an exported tree) there is nothing to compare:
# skipped.
set -uo pipefail
cd "$1" || exit 1
source tests/checks.sh
expected=".ci
.gitignore
CMakeLists.txt
CMakePresets.json
README.md
bench
cmake
doc
fuzz
scripts
src
tests"
if ! top=$(git -c safe.directory='*' ls-files 2>/dev/null | cut -d/ -f1 | LC_ALL=C sort -u) || [[ -z "$top" ]]; then
  skip "the repository's top" "not a git checkout"
  exit 77
fi
check "the top of the repository holds only the project's own files" \
  bash -c '[[ -z "$(comm -23 <(echo "$1") <(echo "$2"))" ]] ||
    { echo "not expected at the top: $(comm -23 <(echo "$1") <(echo "$2") | tr "\n" " ")" >&2; exit 1; }' \
  _ "$top" "$expected"
checks_summary
