# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Arm Linux with Debian's cross toolchain
# (apt-get install g++-aarch64-linux-gnu libc6-dev-arm64-cross), with tests
# run under qemu-user (apt-get install qemu-user):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# The project's own flags apply unchanged; -ffp-contract=off matters most
# here, since GCC fuses multiply-adds on aarch64 by default.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(triple aarch64-linux-gnu)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_C_COMPILER)
  message(FATAL_ERROR "The aarch64 cross compiler was not found. On Debian/Ubuntu: sudo apt-get install g++-aarch64-linux-gnu libc6-dev-arm64-cross")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# aarch64 programs built here run under qemu-user in CTest, with the arm64
# C library of the cross toolchain.
set(GEODESY_EMULATOR_PACKAGE qemu-user)
find_program(GEODESY_QEMU NAMES qemu-aarch64 qemu-aarch64-static NO_CMAKE_FIND_ROOT_PATH)
if(GEODESY_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${GEODESY_QEMU};-L;/usr/${triple}")
endif()
