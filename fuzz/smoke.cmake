# Runs one fuzz target for SECONDS seconds, starting from the seed corpus in
# SEEDS (left as it is: what the run finds goes to WORK). Fails on any
# finding: a crash, a sanitizer report, a leak, a timeout or running out of
# memory; the input that caused it is kept in WORK/artifacts/.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
execute_process(
  COMMAND "${FUZZER}" "${WORK}/corpus" "${SEEDS}"
          -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 "-artifact_prefix=${WORK}/artifacts/"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} found something (exit ${status}); "
                      "see ${WORK}/artifacts/")
endif()
