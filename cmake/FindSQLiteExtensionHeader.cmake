# SPDX-License-Identifier: MIT
# Finds sqlite3ext.h, the header that loadable SQLite extensions compile
# against, and stops with the package to install when it is missing.
find_path(SQLITE3EXT_INCLUDE_DIR sqlite3ext.h
  DOC "Folder holding SQLite's sqlite3ext.h and sqlite3.h")
if(NOT SQLITE3EXT_INCLUDE_DIR)
  message(FATAL_ERROR
    "SQLite's extension header sqlite3ext.h was not found.\n"
    "Install SQLite's development files:\n"
    "  Debian/Ubuntu:  sudo apt-get install libsqlite3-dev\n"
    "  Fedora:         sudo dnf install sqlite-devel\n"
    "  macOS:          brew install sqlite\n"
    "or point the build at it with -DSQLITE3EXT_INCLUDE_DIR=/path/to/include")
endif()
