#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The figures behind three statements of the docs, measured on the module
through SQLite (make accuracy runs this):

  1. how far project_lon strays from lon1, by distance, from a metre up to
     the largest finite distances;
  2. which results infinite arguments, and finite ones whose radians
     overflow, give: NULL, ±Inf or a number, per function and argument;
  3. how often swapping the two points changes distance's last bits;
  4. how much longitudes far beyond ±180° add to distance's error;
  5. how far from JFK the point reached from Heathrow lands when the
     azimuth and length are fed back as the shell prints them.

    /usr/bin/python3 accuracy/statements.py build/geodesy.so
"""
import math
import random
import sqlite3
import sys

LINES = 20000      # random lines per distance decade
PAIRS = 100000     # random pairs for the swap
INVERSE = ("distance", "azimut_start", "azimut_end")
DIRECT = ("project_lat", "project_lon")


def connect(module):
    db = sqlite3.connect(":memory:")
    db.enable_load_extension(True)
    db.load_extension(module)
    db.enable_load_extension(False)
    return db


def latitude(r):
    return math.degrees(math.asin(2 * r.random() - 1))


def project_lon_range(db):
    """Per decade of distance, the largest |project_lon - lon1| over random
    starts and azimuths, and that excess over 180° in units of
    f·s/b (in degrees), the drift that the longitude correction adds."""
    r = random.Random(1)
    f, b = 1 / 298.2572235636655, (1 - 1 / 298.2572235636655) * 6378137.0
    print("| distance | lines | largest \\|project_lon − lon1\\| (°) | excess over 180° ÷ (f·s/b in °) |")
    print("|---|---:|---:|---:|")
    worst_ratio = 0.0
    for exponent in list(range(0, 9)) + list(range(9, 309, 20)) + [307]:
        rows = []
        for _ in range(LINES):
            s = 10 ** (exponent + r.random()) if exponent < 308 else 1.7e308 * r.random()
            if s > 1.7976931348623157e308:
                s = 1.7976931348623157e308
            rows.append((latitude(r), r.uniform(-180, 180), r.uniform(0, 360), s))
        worst = ratio = 0.0
        for lat, lon, az, s in rows:
            got = db.execute("SELECT project_lon(?, ?, ?, ?)", (lat, lon, az, s)).fetchone()[0]
            if got is None:
                continue
            away = abs(got - lon)
            worst = max(worst, away)
            drift = math.degrees(f * s / b)
            if away > 180:
                ratio = max(ratio, (away - 180) / drift)
        worst_ratio = max(worst_ratio, ratio)
        print(f"| 10^{exponent} to 10^{exponent + 1} m | {LINES:,} | {worst:.6g} | {ratio:.4f} |")
    print(f"\nlargest excess ratio over all decades: {worst_ratio:.4f}")


def odd_arguments(db):
    """Result kinds for ±9e999 and ±1e308 in each argument, the others
    random; a row lists every kind seen over 500 calls."""
    r = random.Random(2)

    def kind(v):
        if v is None:
            return "NULL"
        if math.isinf(v):
            return "+Inf" if v > 0 else "-Inf"
        return "number"
    print("| function | argument | 9e999 | -9e999 | 1e308 | -1e308 |")
    print("|---|---|---|---|---|---|")
    for name in INVERSE + DIRECT:
        names = ("lat1", "lon1", "lat2", "lon2") if name in INVERSE else ("lat1", "lon1", "azimuth", "metres")
        for i, argument in enumerate(names):
            cells = []
            for odd in (math.inf, -math.inf, 1e308, -1e308):
                seen = set()
                for _ in range(500):
                    if name in INVERSE:
                        args = [latitude(r), r.uniform(-180, 180), latitude(r), r.uniform(-180, 180)]
                    else:
                        args = [latitude(r), r.uniform(-180, 180), r.uniform(0, 360),
                                r.choice((0.0, r.uniform(-2e7, 2e7)))]
                    args[i] = odd
                    seen.add(kind(db.execute(f"SELECT {name}(?, ?, ?, ?)", args).fetchone()[0]))
                cells.append(" or ".join(sorted(seen)))
            print(f"| {name} | {argument} | " + " | ".join(cells) + " |")


def swap(db):
    """distance(a, b) against distance(b, a): on random pairs, by longitude
    difference, and on nearly antipodal pairs (a longitude difference of
    179° or more and the second point within 1° of the first's antipodal
    parallel), where the iteration can stop at its pass limit."""
    r = random.Random(3)

    def random_pair():
        return latitude(r), r.uniform(-180, 180), latitude(r), r.uniform(-180, 180)

    def antipodal_pair():
        lat, lon = latitude(r), r.uniform(-180, 180)
        return lat, lon, -lat + r.uniform(-1, 1), lon + r.choice((1, -1)) * r.uniform(179, 180)
    print("| pairs | longitude difference | pairs | lengths that differ | largest difference (m) |")
    print("|---|---|---:|---:|---:|")
    for label, make in (("random", random_pair), ("nearly antipodal", antipodal_pair)):
        bands = {"below 179°": [0, 0, 0.0], "179° and beyond": [0, 0, 0.0]}
        for _ in range(PAIRS):
            lat1, lon1, lat2, lon2 = make()
            there, back = db.execute("SELECT distance(?1, ?2, ?3, ?4), distance(?3, ?4, ?1, ?2)",
                                     (lat1, lon1, lat2, lon2)).fetchone()
            gap = abs((lon2 - lon1 + 180) % 360 - 180)
            band = bands["below 179°" if gap < 179 else "179° and beyond"]
            band[0] += 1
            if there != back:
                band[1] += 1
                band[2] = max(band[2], abs(there - back))
        for band, (n, differ, worst) in bands.items():
            if n:
                print(f"| {label} | {band} | {n:,} | {differ:,} | {worst:.2g} |")


def far_longitudes(db):
    """distance between longitudes far beyond ±180°, against the same line
    from longitude 0: the two differ only by the rounding of the large
    longitudes in radians, since only their difference matters."""
    print("| longitudes | distance | from longitude 0 | difference (m) |")
    print("|---|---:|---:|---:|")
    for lon in (1e6, 1e9, 1e12):
        far, near = db.execute("SELECT distance(10, ?1, 20, ?1 + 50), distance(10, 0, 20, 50)", (lon,)).fetchone()
        print(f"| {lon:g} and {lon:g} + 50 | {far!r} | {near!r} | {abs(far - near):.2g} |")


def fed_back(db):
    """Heathrow to JFK: the azimuth and length, printed to 15 digits as
    the sqlite3 shell prints them, and rounded as functions.md's example
    rounds them, fed to project_lat and project_lon; how far from JFK
    each lands, measured with distance."""
    start, jfk = (51.4700, -0.4543), (40.6413, -73.7781)
    azimuth, length = db.execute("SELECT azimut_start(?1, ?2, ?3, ?4), distance(?1, ?2, ?3, ?4)",
                                 start + jfk).fetchone()
    print("| azimuth (°) | length (m) | lands from JFK (m) |")
    print("|---:|---:|---:|")
    for az, s in ((float(f"{azimuth:.15g}"), float(f"{length:.15g}")), (287.98, 5554909.0)):
        off = db.execute("SELECT distance(project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4), ?5, ?6)",
                         start + (az, s) + jfk).fetchone()[0]
        print(f"| {az!r} | {s!r} | {off:.4g} |")


def main():
    db = connect(sys.argv[1])
    print("## project_lon's distance from lon1, by distance\n")
    project_lon_range(db)
    print("\n## Infinite and overflowing arguments\n")
    odd_arguments(db)
    print("\n## Swapping the two points of distance\n")
    swap(db)
    print("\n## Longitudes far beyond ±180°\n")
    far_longitudes(db)
    print("\n## Heathrow to JFK, fed back\n")
    fed_back(db)


if __name__ == "__main__":
    main()
