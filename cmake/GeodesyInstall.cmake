# SPDX-License-Identifier: MIT
# Install rules and the Debian package (make package).
#
# SQLite loads an extension named without a path ('.load geodesy') through
# the platform's loader, which on Linux looks in the system's own library
# folders (on Debian /usr/lib/<triplet>) but not in /usr/local/lib. So on
# Linux the default prefix is /usr, where a plain `cmake --install` makes the
# module loadable by name; pass --prefix to put it elsewhere (then load it
# by its full path).
set(CMAKE_INSTALL_DOCDIR share/doc/libsqlite3-mod-geodesy CACHE PATH "Documentation folder")
include(GNUInstallDirs)

install(TARGETS geodesy
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"     # .so and .dylib
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")    # .dll, beside programs on PATH
install(FILES README.md docs/functions.md
  DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# Debian package, named after Debian's SQLite modules (libsqlite3-mod-*).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libsqlite3-mod-geodesy)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SQLite extension for geodesics on the WGS 84 ellipsoid")
set(CPACK_PACKAGE_CONTACT "sqlite-geodesy developers <maintainers@sqlite-geodesy.invalid>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)       # depends on the libc it was built against
set(CPACK_DEBIAN_PACKAGE_ENHANCES "sqlite3, libsqlite3-0")
# The summary above is the first line; CPack indents the lines below.
set(CPACK_PACKAGE_DESCRIPTION
"A loadable SQLite module with five SQL functions solved with Vincenty's
iterative formulae: distance, azimut_start and azimut_end for the geodesic
between two points, and project_lat and project_lon for the point reached
from a start point along an azimuth after a distance in metres.
.
Load it with '.load geodesy' in the sqlite3 shell, or with
SELECT load_extension('geodesy') from any SQLite host.")
include(CPack)
