# SPDX-License-Identifier: MIT
# geodesy_require(<find_package name> <Debian package>): finds a package
# quietly and stops with the Debian package to install when it is missing.
macro(geodesy_require name debian_package)
  find_package(${name} QUIET)
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR "${name} was not found. On Debian/Ubuntu: sudo apt-get install ${debian_package}")
  endif()
endmacro()
