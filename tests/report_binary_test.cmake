# Runs the program as a user would, with standard input at its end, and
# checks the exact bytes of its report and its exit status. The arguments and
# the locale it is started with must not change anything.
file(READ "${EXPECTED}" expected)

# A binary over CUPS reports the queues of whatever server libcups finds;
# given NO_CUPS_SERVER, it is pointed at a socket where none listens.
set(server_env)
if(DEFINED NO_CUPS_SERVER)
  set(server_env "CUPS_SERVER=${NO_CUPS_SERVER}")
endif()

foreach(locale C C.UTF-8 de_DE.ISO-8859-1)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=${locale} LANG=${locale} ${server_env}
            "${PROGRAM}" --help /x "an argument"
    INPUT_FILE /dev/null
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors
    RESULT_VARIABLE status
    TIMEOUT 60)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "exit status ${status} under LC_ALL=${locale}")
  endif()
  if(NOT output STREQUAL expected)
    message(FATAL_ERROR "report under LC_ALL=${locale} differs:\n${output}")
  endif()
  if(NOT errors STREQUAL "")
    message(FATAL_ERROR "unexpected error output: ${errors}")
  endif()
endforeach()
