# SPDX-License-Identifier: MIT
# Runs a program and fails unless its standard output is exactly the
# expected file's text. Prints "SKIPPED: ..." (which the test's
# SKIP_REGULAR_EXPRESSION turns into a skip) when REQUIRES does not exist.
#
#   cmake "-DCOMMAND=prog;arg..." -DEXPECTED=file [-DINPUT=file] [-DREQUIRES=path]
#         [-DENV=NAME=value] -P CompareOutput.cmake
if(DEFINED REQUIRES AND NOT EXISTS "${REQUIRES}")
  message(STATUS "SKIPPED: ${REQUIRES} is missing (make hosts installs it)")
  return()
endif()
if(DEFINED ENV)
  string(REGEX MATCH "^([^=]+)=(.*)$" _ "${ENV}")
  set(ENV{${CMAKE_MATCH_1}} "${CMAKE_MATCH_2}")
endif()
if(DEFINED INPUT)
  set(input INPUT_FILE "${INPUT}")
endif()
execute_process(COMMAND ${COMMAND} ${input}
  OUTPUT_VARIABLE actual ERROR_VARIABLE errors RESULT_VARIABLE rc)
file(READ "${EXPECTED}" expected)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${COMMAND} exited with ${rc}:\n${errors}")
endif()
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "output differs from ${EXPECTED}:\n--- expected\n${expected}--- actual\n${actual}")
endif()
message(STATUS "output matches ${EXPECTED}")
