# SPDX-License-Identifier: MIT
# Finds GeographicLib, the independent reference for the tests, benchmarks
# and accuracy report, as the imported target `geographiclib`.
if(TARGET geographiclib)
  return()
endif()
find_path(GEOGRAPHICLIB_INCLUDE_DIR GeographicLib/Geodesic.hpp)
find_library(GEOGRAPHICLIB_LIBRARY NAMES GeographicLib Geographic)
if(NOT GEOGRAPHICLIB_INCLUDE_DIR OR NOT GEOGRAPHICLIB_LIBRARY)
  message(FATAL_ERROR "GeographicLib was not found. On Debian/Ubuntu: sudo apt-get install libgeographiclib-dev")
endif()
add_library(geographiclib UNKNOWN IMPORTED GLOBAL)
set_target_properties(geographiclib PROPERTIES
  IMPORTED_LOCATION "${GEOGRAPHICLIB_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${GEOGRAPHICLIB_INCLUDE_DIR}")
