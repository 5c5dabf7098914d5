# SPDX-License-Identifier: MIT
"""Geodesics on the Earth's ellipsoid as SQLite functions.

    import sqlite3
    import sqlite_geodesy

    db = sqlite3.connect(":memory:")
    sqlite_geodesy.load(db)
    db.execute("SELECT distance(51.47, -0.4543, 40.6413, -73.7781)").fetchone()

`load` adds distance, azimut_start, azimut_end, project_lat and project_lon
to the connection. `loadable_path` is the module's path, for hosts that
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


def load(conn: sqlite3.Connection) -> None:
    """Loads the extension into conn.

    Extension loading is enabled for the load and disabled again afterwards,
    so that SQL run on conn later cannot load extensions of its own with
    load_extension(). Raises ExtensionLoadingUnavailable where this Python's
    sqlite3 module cannot load extensions at all, sqlite3.OperationalError
    if SQLite refuses the module, and TypeError for anything that is not an
    sqlite3 connection.
    """
    if not isinstance(conn, sqlite3.Connection):
        raise TypeError(f"load() takes an sqlite3.Connection, such as sqlite3.connect() "
                        f"returns, not {type(conn).__name__} {conn!r:.60}")
    if not hasattr(conn, "enable_load_extension"):
        raise ExtensionLoadingUnavailable(
            f"{sys.executable} has an sqlite3 module built without extension loading, so "
            "it cannot load sqlite-geodesy or any other SQLite extension. Use a Python "
            "built with --enable-loadable-sqlite-extensions: Debian's and Ubuntu's "
            "/usr/bin/python3 are; with pyenv, reinstall with "
            "PYTHON_CONFIGURE_OPTS=--enable-loadable-sqlite-extensions pyenv install <version>; "
            "on macOS, Homebrew's python is.")
    conn.enable_load_extension(True)
    try:
        conn.load_extension(loadable_path())
    finally:
        conn.enable_load_extension(False)
