# SPDX-License-Identifier: MIT
# Install rules (make install, cmake --install).
#
# SQLite loads an extension named without a path ('.load geodesy') through
# the platform's loader, which on Linux looks in the system's own library
# folders (on Debian /usr/lib/<triplet>) but not in /usr/local/lib. So on
# Linux the default prefix is /usr, where a plain `cmake --install` makes the
# module loadable by name; pass --prefix to put it elsewhere (then load it
# by its full path). The release artefacts (make dist) are made by
# packaging/dist.py from the same build.
set(CMAKE_INSTALL_DOCDIR share/doc/libsqlite3-mod-geodesy CACHE PATH "Documentation folder")
include(GNUInstallDirs)

install(TARGETS geodesy
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"     # .so and .dylib
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")    # .dll, beside programs on PATH
install(FILES README.md LICENSE DESTINATION "${CMAKE_INSTALL_DOCDIR}")
install(DIRECTORY docs/ DESTINATION "${CMAKE_INSTALL_DOCDIR}/docs")
install(DIRECTORY examples/recipes/ DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples/recipes"
  FILES_MATCHING PATTERN "*.sql")
