# Checks a built ELF module from the outside, as a host's loader sees it:
# it exports sqlite3_extension_init and nothing else, and needs no SQLite
# library of its own (the host provides SQLite through its routine table).
#
#   cmake -DMODULE=path/to/geodesy.so -DNM=nm -DREADELF=readelf -P CheckModule.cmake
execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
                OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
string(REPLACE "\n" "" names "${names}")
if(NOT names STREQUAL "sqlite3_extension_init")
  message(FATAL_ERROR "exports must be sqlite3_extension_init alone, found: ${names}")
endif()

execute_process(COMMAND "${READELF}" -d "${MODULE}" OUTPUT_VARIABLE dynamic)
if(dynamic MATCHES "sqlite")
  message(FATAL_ERROR "module links an SQLite library:\n${dynamic}")
endif()
message(STATUS "exports: ${names}; no SQLite library needed")
