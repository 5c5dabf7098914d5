#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Two recipes whose SQL must hold for every input, not only for the
examples they print:

- the radius recipe's R*Tree prefilter never changes the answer: for a few
  hundred seeded centres and radii (anywhere, near both poles, across the
  antimeridian; 100 m to 15 000 km) examples/recipes/radius-query.sql
  returns exactly the places that a full scan with distance() keeps;
- the unroll query of examples/recipes/longitude.sql gives GeographicLib's
  unrolled longitude for lines that travel east or west and go less than
  once round the globe, of any length from none to nearly once round,
  forwards and backwards (needs python3-geographiclib).

    recipes_test.py MODULE
"""
import math
import os
import random
import sqlite3
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)


def latitude(r):
    return math.degrees(math.asin(2 * r.random() - 1))


def connect(module):
    db = sqlite3.connect(":memory:")
    db.enable_load_extension(True)
    db.load_extension(module)
    db.enable_load_extension(False)
    return db


def radius_recipe(module):
    db = connect(module)
    with open(os.path.join(ROOT, "examples", "recipes", "radius-query.sql"), encoding="utf-8") as f:
        query = f.read()

    r = random.Random(7)
    places = [(latitude(r), r.uniform(-180, 180)) for _ in range(10000)]
    places += [(r.uniform(85, 90) * r.choice((1, -1)), r.uniform(-180, 180)) for _ in range(2000)]
    places += [(latitude(r), r.choice((1, -1)) * r.uniform(175, 180)) for _ in range(2000)]
    places += [(0.0, 180.0), (0.0, -180.0), (90.0, 0.0), (-90.0, 0.0), (10.0, 180.0), (-10, -180.0)]
    db.execute("CREATE TABLE place(id INTEGER PRIMARY KEY, name TEXT, lat REAL, lon REAL)")
    db.executemany("INSERT INTO place(lat, lon) VALUES (?, ?)", places)
    db.execute("CREATE VIRTUAL TABLE place_box USING rtree(id, min_lat, max_lat, min_lon, max_lon)")
    db.execute("INSERT INTO place_box SELECT id, lat, lat, lon, lon FROM place")

    centres = [(latitude(r), r.uniform(-180, 180)) for _ in range(150)]
    centres += [(r.uniform(80, 90) * r.choice((1, -1)), r.uniform(-180, 180)) for _ in range(80)]
    centres += [(latitude(r), r.choice((1, -1)) * r.uniform(170, 180)) for _ in range(80)]
    centres += [(90.0, 0.0), (-90.0, 45.0), (0.0, 180.0), (0.0, -180.0)]
    full_scan = "SELECT id FROM place WHERE distance(:lat, :lon, lat, lon) <= :r"
    passed = failed = 0
    for lat, lon in centres:
        radius = 10 ** r.uniform(2, 6.5) if r.random() < 0.9 else r.uniform(5e6, 1.5e7)
        params = {"lat": lat, "lon": lon, "r": radius}
        want = {row[0] for row in db.execute(full_scan, params)}
        got = [row[0] for row in db.execute(query, params)]
        if sorted(got) == sorted(want) and len(got) == len(set(got)):
            passed += 1
        else:
            failed += 1
            print(f"FAIL centre ({lat!r}, {lon!r}) radius {radius!r} m: the prefilter lost "
                  f"{sorted(want - set(got))} and added {sorted(set(got) - want)}")
    return passed, failed


def unroll_recipe(module):
    try:
        from geographiclib.geodesic import Geodesic
    except ImportError:
        sys.exit("the unroll check needs GeographicLib for Python: sudo apt-get install python3-geographiclib")
    reference = Geodesic(6378137.0, 1 / 298.2572235636655)
    with open(os.path.join(ROOT, "examples", "recipes", "longitude.sql"), encoding="utf-8") as f:
        query = f.read().split("-- unroll:\n", 1)[1]
    r = random.Random(11)
    trips = []
    for i in range(2000):
        east = r.random() < 0.5
        azimuth = r.uniform(0.01, 179.99) + (0 if east else 180)
        # Every length the recipe covers: none at all, a micrometre to a
        # metre, and up to nearly once round, forwards and backwards.
        metres = r.choice([0.0, r.uniform(1e-6, 1), r.uniform(1, 3.9e7)]) * r.choice([1, -1])
        trips.append((str(i), latitude(r), r.uniform(-180, 180), azimuth, metres))
    db = connect(module)
    db.execute("CREATE TABLE trip(name TEXT, lat1 REAL, lon1 REAL, azimuth REAL, metres REAL)")
    db.executemany("INSERT INTO trip VALUES (?, ?, ?, ?, ?)", trips)
    got = dict(db.execute(query).fetchall())
    passed = failed = 0
    for name, lat1, lon1, azimuth, metres in trips:
        want = reference.Direct(lat1, lon1, azimuth, metres,
                                Geodesic.STANDARD | Geodesic.LONG_UNROLL)["lon2"]
        if abs(float(got[name]) - want) <= 1e-4:
            passed += 1
        else:
            failed += 1
            print(f"FAIL unroll from ({lat1!r}, {lon1!r}) heading {azimuth!r} for {metres!r} m: "
                  f"{got[name]}, GeographicLib {want!r}")
    return passed, failed


def main():
    radius = radius_recipe(sys.argv[1])
    print(f"radius recipe against a full scan: {radius[0]} passed, {radius[1]} failed")
    unroll = unroll_recipe(sys.argv[1])
    print(f"unroll recipe against GeographicLib: {unroll[0]} passed, {unroll[1]} failed")
    passed, failed = radius[0] + unroll[0], radius[1] + unroll[1]
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
