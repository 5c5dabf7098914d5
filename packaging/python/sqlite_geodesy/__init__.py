# SPDX-License-Identifier: MIT
"""Geodesics on the Earth's ellipsoid as SQLite functions.

    import sqlite3
    import sqlite_geodesy

    db = sqlite3.connect(":memory:")
    sqlite_geodesy.load(db)
    db.execute("SELECT distance(51.47, -0.4543, 40.6413, -73.7781)").fetchone()

`load` adds distance, azimut_start, azimut_end, project_lat and project_lon
to the connection (sqlite3's, pysqlite3's or apsw's). `loadable_path` is the module's path, for hosts that
load extensions themselves.
"""
import os
import sqlite3
import sys
from importlib import metadata

__all__ = ["ExtensionLoadingUnavailable", "load", "loadable_path", "__version__"]

__version__: str = metadata.version("sqlite-geodesy")

_MODULE = {"win32": "geodesy.dll", "darwin": "geodesy.dylib"}.get(sys.platform, "geodesy.so")


class ExtensionLoadingUnavailable(RuntimeError):
    """This Python's sqlite3 module was built without extension loading."""


def loadable_path() -> str:
    """The full path of the prebuilt module inside the installed package."""
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), _MODULE)


def load(conn) -> None:
    """Loads the extension into conn.

    conn is any connection that can load extensions: sqlite3's, pysqlite3's,
    or apsw's (whose methods are enableloadextension and loadextension in
    older releases). Extension loading is enabled for the load and disabled
    again afterwards, so that SQL run on conn later cannot load extensions
    of its own with load_extension(). Raises ExtensionLoadingUnavailable
    where this Python's sqlite3 module cannot load extensions at all, the
    driver's own error if SQLite refuses the module, and TypeError for
    anything that is not such a connection.
    """
    enable = getattr(conn, "enable_load_extension", None) or getattr(conn, "enableloadextension", None)
    load_extension = getattr(conn, "load_extension", None) or getattr(conn, "loadextension", None)
    if isinstance(conn, sqlite3.Connection) and enable is None:
        raise ExtensionLoadingUnavailable(
            f"{sys.executable} has an sqlite3 module built without extension loading, so "
            "it cannot load sqlite-geodesy or any other SQLite extension. Use a Python "
            "built with --enable-loadable-sqlite-extensions: Debian's and Ubuntu's "
            "/usr/bin/python3 are; with pyenv, reinstall with "
            "PYTHON_CONFIGURE_OPTS=--enable-loadable-sqlite-extensions pyenv install <version>; "
            "on macOS, Homebrew's python is.")
    if not callable(enable) or not callable(load_extension):
        raise TypeError(f"load() takes a connection that can load extensions, such as sqlite3.connect() "
                        f"or apsw.Connection() returns (any with enable_load_extension and "
                        f"load_extension), not {type(conn).__name__} {conn!r:.60}")
    enable(True)
    try:
        load_extension(loadable_path())
    finally:
        enable(False)
