#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The route of a flight along the geodesic, Sydney to Los Angeles, with
Python's sqlite3 module: length, bearings at departure and arrival, and the
point halfway along.

    /usr/bin/python3 examples/flight.py [path/to/geodesy]

The extension's path defaults to build/geodesy in the project folder."""
import os
import sqlite3
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_LIB = os.path.join(HERE, os.pardir, "build", "geodesy")

QUERY = """
WITH leg AS (
  SELECT distance(:lat1, :lon1, :lat2, :lon2) AS metres,
         azimut_start(:lat1, :lon1, :lat2, :lon2) AS departure,
         azimut_end(:lat1, :lon1, :lat2, :lon2) AS arrival
)
SELECT metres, departure, arrival,
       project_lat(:lat1, :lon1, departure, metres / 2),
       project_lon(:lat1, :lon1, departure, metres / 2)
FROM leg
"""


def connect(lib):
    db = sqlite3.connect(":memory:")
    if not hasattr(db, "enable_load_extension"):
        sys.exit(f"{sys.executable} cannot load SQLite extensions: its sqlite3 module was built "
                 "without them. Use Debian's /usr/bin/python3, or a Python built with "
                 "--enable-loadable-sqlite-extensions.")
    db.enable_load_extension(True)
    try:
        db.load_extension(lib)
    except sqlite3.OperationalError as e:
        sys.exit(f"cannot load the extension from {lib}: {e}\n"
                 "Build it with 'make build' in the project folder, or pass its path: "
                 "python3 examples/flight.py path/to/geodesy")
    db.enable_load_extension(False)
    return db


def main():
    lib = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(DEFAULT_LIB)
    db = connect(lib)
    route = {"lat1": -33.9461, "lon1": 151.1772, "lat2": 33.9425, "lon2": -118.4081}
    metres, departure, arrival, mid_lat, mid_lon = db.execute(QUERY, route).fetchone()
    wrapped = mid_lon - 360 * round(mid_lon / 360)
    print("SYD -> LAX")
    print(f"length:    {metres / 1000:.1f} km")
    print(f"departure: {departure:.2f} degrees")
    print(f"arrival:   {arrival:.2f} degrees")
    print(f"halfway:   {mid_lat:.4f}, {wrapped:.4f} (project_lon gave {mid_lon:.4f})")


if __name__ == "__main__":
    main()
