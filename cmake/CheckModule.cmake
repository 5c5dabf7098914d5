# SPDX-License-Identifier: MIT
# Checks a built ELF module from the outside, as a host's loader sees it:
# it exports sqlite3_extension_init and nothing else, needs no SQLite
# library of its own (the host provides SQLite through its routine table),
# and contains no fused multiply-add instruction: the results are defined
# with every product rounded before it is added, so a toolchain or flag
# that starts contracting a*b+c would change their last bits.
#
#   cmake -DMODULE=path/to/geodesy.so -DNM=nm -DREADELF=readelf -DOBJDUMP=objdump
#         -P CheckModule.cmake
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

# x86-64: vfmadd…, vfmsub…, vfnmadd…, vfnmsub… (and vfmaddsub…);
# aarch64: fmadd, fmsub, fnmadd, fnmsub and the vector fmla, fmls.
execute_process(COMMAND "${OBJDUMP}" -d --no-show-raw-insn "${MODULE}"
                OUTPUT_VARIABLE code RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT code MATCHES "\n[ ]*[0-9a-f]+:\t")
  message(FATAL_ERROR "${OBJDUMP} could not disassemble ${MODULE}")
endif()
string(REGEX MATCHALL "\n[ ]*[0-9a-f]+:\t(vfn?m(add|sub)[a-z0-9]*|fn?m(add|sub)|fml[as])[ \t][^\n]*"
       fused "${code}")
list(LENGTH fused count)
if(count GREATER 0)
  list(GET fused 0 first)
  string(STRIP "${first}" first)
  message(FATAL_ERROR "${MODULE} contains ${count} fused multiply-add instructions "
          "(the build must use -ffp-contract=off), the first: ${first}")
endif()
message(STATUS "exports: ${names}; no SQLite library needed; no fused multiply-add")
