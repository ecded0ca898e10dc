# shellcheck shell=bash
# Reading a report's sections, for the tests' shell scripts; to be sourced by
# bash. Each takes the report file, a scope's name as its heading shows it
# ("Local | Shared") and a level (1, 2, 4, 5):
#
#   entries REPORT SCOPE LEVEL        the names listed there, one a line
#                                     ("- " taken off)
#   nested REPORT SCOPE LEVEL ENTRY   the nested names beneath that entry
#                                     ("--> " taken off)
#   total REPORT SCOPE LEVEL          the count on the total line; nothing
#                                     when the level has none

entries() {
  awk -v scope="====== $2 ======" -v level="------ Level $3 ------" '
    /^====== / { in_scope = ($0 == scope); in_level = 0; next }
    /^------ Level / { in_level = in_scope && ($0 == level); next }
    in_level && /^- / { print substr($0, 3) }' "$1"
}

# (The entry goes through the environment: awk -v would take its
# backslashes for escapes.)
nested() {
  ENTRY="- $4" awk -v scope="====== $2 ======" -v level="------ Level $3 ------" '
    BEGIN { entry = ENVIRON["ENTRY"] }
    /^====== / { in_scope = ($0 == scope); in_level = 0; under = 0; next }
    /^------ Level / { in_level = in_scope && ($0 == level); under = 0; next }
    in_level && /^- / { under = ($0 == entry); next }
    in_level && /^= / { under = 0; next }
    under && /^--> / { print substr($0, 5) }' "$1"
}

total() {
  awk -v scope="====== $2 ======" -v level="------ Level $3 ------" '
    /^====== / { in_scope = ($0 == scope); in_level = 0; next }
    /^------ Level / { in_level = in_scope && ($0 == level); next }
    in_level && /^= TOTAL: / { print substr($0, 10) }' "$1"
}
