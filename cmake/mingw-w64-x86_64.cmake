# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Windows with Debian's mingw-w64
# (apt-get install g++-mingw-w64-x86-64), with tests run under wine
# (apt-get install wine64):
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-win32 ${triple}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-win32 ${triple}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres)
if(NOT CMAKE_CXX_COMPILER)
  message(FATAL_ERROR "mingw-w64 was not found. On Debian/Ubuntu: sudo apt-get install g++-mingw-w64-x86-64")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs built here run under wine in CTest.
set(GEODESY_EMULATOR_PACKAGE wine64)
find_program(GEODESY_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(GEODESY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${GEODESY_WINE}")
endif()
