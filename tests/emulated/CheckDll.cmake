# SPDX-License-Identifier: MIT
# Checks the DLL's export and import tables as objdump -p shows them: the
# only export is sqlite3_extension_init, and every import is a DLL that
# comes with Windows (no MinGW runtime, no SQLite).
#
#   cmake -DDLL=geodesy.dll -DOBJDUMP=x86_64-w64-mingw32-objdump -P CheckDll.cmake
execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${DLL}")
endif()

# Exports: the rows after "[Ordinal/Name Pointer] Table" look like
#   "\t[   0] sqlite3_extension_init".
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" _ "${dump}")
string(REGEX MATCHALL "\\][ ]+[^ \n]+" exports "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\\][ ]+" "" exports "${exports}")
if(NOT exports STREQUAL "sqlite3_extension_init")
  message(FATAL_ERROR "exports must be sqlite3_extension_init alone, found: ${exports}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "DLL Name: " "" imports "${imports}")
foreach(dll IN LISTS imports)
  string(TOLOWER "${dll}" lower)
  if(NOT lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\\.dll$")
    message(FATAL_ERROR "imports a DLL that Windows does not ship: ${dll} (all: ${imports})")
  endif()
endforeach()
message(STATUS "exports: ${exports}; imports: ${imports}")
