#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Loads the extension into Python's sqlite3 module and checks every
function against checks.tsv.

    python_host.py path/to/geodesy[.so]   loads the module by its path
    python_host.py --package VERSION      loads it with the installed
                                          sqlite_geodesy package, whose
                                          version must be VERSION

Exits 77 (skipped) when this Python cannot load extensions, unless
GEODESY_REQUIRE_HOSTS is set."""
import math
import os
import sqlite3
import sys

SKIP = 77


def fail(message, code=1):
    print(message, file=sys.stderr)
    sys.exit(code)


def connect(argv):
    db = sqlite3.connect(":memory:")
    if argv[1] == "--package":
        import sqlite_geodesy
        if sqlite_geodesy.__version__ != argv[2]:
            fail(f"sqlite_geodesy.__version__ is {sqlite_geodesy.__version__}, not {argv[2]}")
        if not os.path.isfile(sqlite_geodesy.loadable_path()):
            fail(f"loadable_path() {sqlite_geodesy.loadable_path()} is not a file")
        sqlite_geodesy.load(db)
        try:  # load() leaves extension loading off again
            db.execute("SELECT load_extension('no-such-module')")
            fail("extension loading was left on after sqlite_geodesy.load()")
        except sqlite3.OperationalError as e:
            if "not authorized" not in str(e):
                fail(f"unexpected error from load_extension() after load(): {e}")
        return db
    if not hasattr(db, "enable_load_extension"):
        fail(f"{sys.executable} has an sqlite3 module built without extension loading; "
             "use Debian's /usr/bin/python3 (or a Python built with "
             "--enable-loadable-sqlite-extensions)",
             1 if os.environ.get("GEODESY_REQUIRE_HOSTS") else SKIP)
    db.enable_load_extension(True)
    try:
        db.load_extension(argv[1])
    except sqlite3.OperationalError as e:
        fail(f"cannot load {argv[1]}: {e}")
    db.enable_load_extension(False)
    return db


def main():
    db = connect(sys.argv)
    checks = os.path.join(os.path.dirname(os.path.abspath(__file__)), "checks.tsv")
    failed = passed = 0
    with open(checks, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            sql, expected = line.rstrip("\n").split("\t")
            got = db.execute(f"SELECT {sql}").fetchone()[0]
            if isinstance(got, float) and math.isclose(got, float(expected), rel_tol=1e-12):
                passed += 1
            else:
                failed += 1
                print(f"FAIL {sql}: {got!r}, expected {expected}")

    try:
        db.execute("SELECT distance(1, 2, 3)")
        failed += 1
        print("FAIL a 3-argument call did not fail")
    except sqlite3.OperationalError as e:
        if "wrong number of arguments to function distance()" in str(e):
            passed += 1
        else:
            failed += 1
            print(f"FAIL unexpected error for a 3-argument call: {e}")

    print(f"python {sys.version.split()[0]}, SQLite {sqlite3.sqlite_version}: {passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
