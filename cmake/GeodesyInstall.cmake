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

# The static kit: libgeodesy.a, its header, and a pkg-config file whose
# paths are relative to where it lies, so that it holds under any prefix
# (cmake --install --prefix chooses the prefix after configuring).
if(TARGET geodesy_static)
  install(FILES "${PROJECT_BINARY_DIR}/libgeodesy.a" DESTINATION "${CMAKE_INSTALL_LIBDIR}")
  install(FILES extension/sqlite3_geodesy.h DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
  file(RELATIVE_PATH GEODESY_PC_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  configure_file(packaging/sqlite-geodesy.pc.in "${PROJECT_BINARY_DIR}/sqlite-geodesy.pc" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/sqlite-geodesy.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
endif()
