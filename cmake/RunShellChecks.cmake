# SPDX-License-Identifier: MIT
# Runs an SQL file in the sqlite3 shell with the module loaded and fails
# unless every output row ends in "|1" (each row checks one fact).
#
#   cmake -DSHELL=sqlite3 -DMODULE=build/geodesy.so -DSQL=checks.sql -P RunShellChecks.cmake
execute_process(
  COMMAND "${SHELL}" -batch -bail :memory: -cmd ".load '${MODULE}'"
  INPUT_FILE "${SQL}"
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "sqlite3 failed (${rc}) on ${SQL}:\n${err}")
endif()
string(REGEX REPLACE "\n$" "" out "${out}")
string(REPLACE "\n" ";" rows "${out}")
set(passed 0)
set(failed 0)
foreach(row IN LISTS rows)
  if(row MATCHES "\\|1$")
    math(EXPR passed "${passed} + 1")
  else()
    math(EXPR failed "${failed} + 1")
    message(SEND_ERROR "check failed: ${row}")
  endif()
endforeach()
if(passed EQUAL 0)
  message(FATAL_ERROR "no checks ran from ${SQL}")
endif()
message(STATUS "${passed} passed, ${failed} failed")
