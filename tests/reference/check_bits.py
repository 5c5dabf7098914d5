#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every result of the five SQL functions, bit for bit, on a seeded set of
inputs of every kind of line.

    check_bits.py MODULE                  the module in this Python's sqlite3
                                          against the Python transcription
    check_bits.py MODULE --host CMD...    also the results that another host
                                          prints for the same inputs (CMD is
                                          run with the inputs on its standard
                                          input; see tests/hosts/host.c), so
                                          that both match the transcription
                                          and each other; skipped (77) on a
                                          CPU without FMA
    check_bits.py MODULE --native-host CMD...
                                          the same with a host built for
                                          this machine, on this machine's
                                          maths library (a program linking
                                          the functions in), on any CPU
    check_bits.py --musl-maths LIB --host CMD...
                                          only the host's results, against
                                          the transcription evaluated with
                                          musl's sin, cos, tan, atan and
                                          atan2 from LIB (musl_maths.sh
                                          makes it): the check of the
                                          WebAssembly module, whose C
                                          library is musl's

The expected bits come from vincenty.py, an independent transcription of
the arithmetic. -0 and +0 differ; a NaN result is SQL NULL. Prints
"N passed, N failed" and lists the first rows that differ.
"""
import math
import os
import random
import sqlite3
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vincenty  # noqa: E402

INVERSE = ("distance", "azimut_start", "azimut_end")
DIRECT = ("project_lat", "project_lon")
INF = math.inf


def latitude(r):
    """A latitude in degrees, uniform over the sphere's area."""
    return math.degrees(math.asin(2.0 * r.random() - 1.0))


def longitude(r):
    return r.uniform(-180.0, 180.0)


def near(r, x, span):
    return x + r.uniform(-span, span)


def inverse_cases(r):
    """(kind, lat1, lon1, lat2, lon2) rows."""
    rows = []

    def add(kind, count, make):
        rows.extend((kind,) + make() for _ in range(count))

    add("random pairs", 20000, lambda: (latitude(r), longitude(r), latitude(r), longitude(r)))

    def short(span_deg):
        lat, lon = latitude(r), longitude(r)
        return lat, lon, near(r, lat, span_deg), near(r, lon, span_deg)
    add("short, under 1 km", 4000, lambda: short(10 ** r.uniform(-5, -2.05)))
    add("short, under 1 m", 3000, lambda: short(10 ** r.uniform(-9, -5.05)))

    def antipodal():
        lat, lon = latitude(r), longitude(r)
        return lat, lon, near(r, -lat, 1.0), lon + r.uniform(179.0, 180.0) * r.choice((1, -1))
    add("nearly antipodal", 6000, antipodal)

    def off_equator():
        s = 10 ** r.uniform(-9, -4)
        return (s * r.choice((1, -1)), longitude(r), s * r.uniform(-1.5, 1.5),
                longitude(r))
    add("just off the equator", 4000, off_equator)
    add("on the equator", 1500, lambda: (0.0, longitude(r), 0.0, longitude(r)))

    def meridional():
        lat1, lon = latitude(r), longitude(r)
        return lat1, lon, latitude(r), lon
    add("meridional", 1000, meridional)

    def polar():
        sign = r.choice((1, -1))
        return sign * r.uniform(89, 90), longitude(r), sign * r.uniform(89, 90), longitude(r)
    add("near a pole", 1000, polar)

    # Whole degrees, bound as SQL integers.
    add("whole degrees", 5000, lambda: (r.randint(-90, 90), r.randint(-180, 180),
                                        r.randint(-90, 90), r.randint(-180, 180)))

    def unreduced():
        return (r.uniform(-400, 400), r.uniform(-1000, 1000), r.uniform(-400, 400),
                r.uniform(-1000, 1000))
    add("unreduced angles", 1000, unreduced)

    odd = [
        (0.0, 0.0, 0.0, 0.0), (45.0, 45.0, 45.0, 45.0), (10.0, 0.0, 20.0, -0.0),
        (-0.0, -0.0, -0.0, -0.0), (0.0, 0.0, 1.0, -1e-300), (0.0, 0.0, 0.0, 179.7),
        (0.0, 0.0, 0.0, -179.9), (-90.0, 0.0, 90.0, 0.0), (90.0, 0.0, -90.0, 0.0),
        (1e-6, 0.0, 1e-6, 1.0), (-1e-6, 5.0, -1e-6, 4.0), (100.0, -200.0, 45.0, 400.0),
        (INF, 0.0, 0.0, 0.0), (0.0, -INF, 0.0, 0.0), (0.0, 0.0, INF, 0.0),
        (0.0, 0.0, 0.0, INF), (1e308, -1e308, 1.7976931348623157e308, 1e300),
        (5e-324, -5e-324, 2.2250738585072009e-308, 1e-310),
        (51.4778, -0.0015, 40.6892, -74.0445), (-33.8568, 151.2153, 35.6586, 139.7454),
        (0.0, 0.0, 0.5, 179.5), (89.9, 0.0, -89.9, 1.0), (10.0, 20.0, 10.0, 20.0),
        (-37.95, 144.42, -37.65, 143.93),
        (-37.95103341666667, 144.42486788888889, -37.65282113888889, 143.92649552777778),
    ]
    rows.extend(("odd inputs",) + o for o in odd)
    return rows


def direct_cases(r):
    """(kind, lat1, lon1, azimuth, metres) rows."""
    rows = []

    def add(kind, count, make):
        rows.extend((kind,) + make() for _ in range(count))

    def start(lo, hi):
        return latitude(r), longitude(r), r.uniform(0, 360), r.uniform(lo, hi)
    add("random starts, up to 20 000 km", 20000, lambda: start(0, 2e7))
    add("long, 20 000 to 100 000 km", 10000, lambda: start(2e7, 1e8))
    add("short, under 1 km", 3000, lambda: start(0, 1e3))
    add("short, under 1 m", 2000, lambda: start(0, 1.0))
    add("backwards", 2000, lambda: start(-2e7, 0))
    add("whole degrees", 5000, lambda: (r.randint(-90, 90), r.randint(-180, 180),
                                        r.randint(0, 360), r.randint(0, 20000) * 1000))
    add("from a pole", 1000, lambda: (r.choice((90, -90)), longitude(r), r.uniform(0, 360),
                                      r.uniform(0, 2e7)))
    add("along the equator", 1000, lambda: (0.0, longitude(r), r.choice((90, 270)),
                                            r.uniform(0, 5e7)))
    add("no distance", 1000, lambda: (latitude(r), longitude(r), r.uniform(0, 360), 0.0))
    add("just off the equator", 1000, lambda: (10 ** r.uniform(-9, -4) * r.choice((1, -1)),
                                               longitude(r), r.uniform(0, 360),
                                               r.uniform(0, 2e7)))
    add("unreduced angles", 1000, lambda: (r.uniform(-400, 400), r.uniform(-1000, 1000),
                                           r.uniform(-1000, 1000), r.uniform(-1e8, 1e8)))
    # Long lines whose σ estimates alternate between two neighbouring
    # doubles, so that the loop runs to its pass limit (found by a search).
    rows.extend(("direct pass limit",) + c for c in [
        (28.486641804719746, 99.900051127281188, 151.38707773837027, 34804095.058140546),
        (5.5500417337882331, -146.18038223149037, 138.20445528654494, 46161826.661291912),
        (31.510049593158477, -160.36395339526155, 193.97871360569678, 52037647.338846371),
        (48.105121621839302, 42.952918937194227, 66.636409773854865, 85816119.299995691),
        (53.139722392143256, -71.061911448140023, 121.57276665346851, 54792389.044622861),
        (-5.2776278322190109, -154.18041366359941, 44.525128055577589, 89294775.217154562),
        (55.42245399692991, -11.015338055630622, 65.190904450453033, 42470193.593745746),
        (70.984042750710913, 73.924282534815177, 140.44064437626901, 61928839.385434829),
        (-64.46486591900053, -19.476547181445255, 140.58074049117224, 26035103.810390376),
        (18.986851904393692, -56.693770833338348, 307.46301570757043, 47331175.383779183),
        (42.680601956542574, -106.01592523227296, 32.551770940799457, 84149082.510536283),
        (-8.1891964153527574, 150.90634367132702, 188.42798788818791, 50946018.115247875),
        (18.105399683247011, -13.783087778590357, 358.46054018291909, 88958175.285667315),
        (60.298157312048424, -42.051383784717672, 148.63690766391068, 76046282.552838057),
        (31.405986310034141, -44.371109443083469, 143.2043296264915, 36261665.274814494),
        (33.355925496516903, 25.322724971608579, 184.11409801650265, 97388252.592334166),
        (-53.317331583805299, 28.574290816579008, 14.078237955790973, 97325450.96245119),
        (51.371962855893578, 135.20431920835006, 254.06231629087259, 55836673.708499171),
        (-2.5135068327353158, 117.96090868905048, 229.47784495825184, 71283254.614707887),
        (11.525238324371257, -24.864075444646517, 343.85507297745045, 70900018.351033956),
        (-39.149212415462344, 6.5495406250563803, 211.41402142129019, 40419191.424496606),
        (38.456280632914954, -23.767235026172955, 217.45209847116845, 74922741.22708416),
        (-5.9613870386643297, 35.505667754036295, 164.79405989532592, 50468572.277717307),
        (-60.229804247814933, 58.775672159478859, 254.99768549439185, 59693954.672390699),
    ])
    odd = [
        (0.0, 20.0, 45.0, 0.0), (90.0, 10.0, 0.0, 1e6), (0.0, 170.0, 90.0, 2e6),
        (0.0, 0.0, 90.0, 1e-300), (-0.0, -0.0, -0.0, -0.0), (10.0, 20.0, 30.0, 9e7),
        (51.47, -0.4543, 287.98, 5554909.0), (-33.9, 151.2, 300.0, -2.5e6),
        (100.0, 400.0, -30.0, 1234.5), (12.0, 34.0, 37.0, 1e12), (0.0, 0.0, 0.0, 1e300),
        (INF, 0.0, 0.0, 1.0), (0.0, INF, 0.0, 1.0), (0.0, 0.0, INF, 1.0), (0.0, 0.0, 0.0, INF),
        (0.0, 0.0, 0.0, -INF), (1e308, -1e308, 1e308, 1e308),
        (5e-324, -5e-324, 2.2250738585072009e-308, 1e-310),
        # σ0 within the threshold of a full turn: no pass runs.
        (0.0, 0.0, 90.0, vincenty.TWO_PI * vincenty.SEMI_MINOR_AXIS),
        (30.0, 0.0, 40.0, 39987018.90007326), (60.0, 0.0, 123.0, 39995997.21292212),
        # σ0 below the threshold: one pass runs (the first test is against 2π).
        (0.0, 10.0, 0.0, 1e-9), (0.0, -20.0, 135.0, 3e-9), (-1e-7, 0.0, 10.0, 2e-10),
    ]
    rows.extend(("odd inputs",) + o for o in odd)
    return rows


def all_cases():
    r = random.Random(20261208)
    return ([("inverse",) + c for c in inverse_cases(r)] +
            [("direct",) + c for c in direct_cases(r)])


def bits(x):
    """The result as a comparable token: its 64-bit pattern, or NULL."""
    if x is None or (isinstance(x, float) and math.isnan(x)):
        return "NULL"
    if not isinstance(x, float):
        return f"not a REAL: {x!r}"
    return "%016x" % struct.unpack("<Q", struct.pack("<d", x))[0]


def expected(case):
    problem, _, *args = case
    if problem == "inverse":
        return vincenty.inverse_row(*args)
    return vincenty.direct_row(*args)


def module_results(module, cases):
    db = sqlite3.connect(":memory:")
    if not hasattr(db, "enable_load_extension"):
        sys.exit(f"{sys.executable} cannot load SQLite extensions; use /usr/bin/python3")
    db.enable_load_extension(True)
    db.load_extension(module)
    db.enable_load_extension(False)
    inverse_sql = ("SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), "
                   "azimut_end(?1, ?2, ?3, ?4)")
    direct_sql = "SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)"
    out = []
    for problem, _, *args in cases:
        sql = inverse_sql if problem == "inverse" else direct_sql
        out.append(db.execute(sql, args).fetchone())
    return out


def hex_double(x):
    return "%016x" % struct.unpack("<Q", struct.pack("<d", float(x)))[0]


def inputs_text(cases):
    """One line per case for a host: 'inverse|direct a b c d', each argument
    as 'i<integer>' or the hex bits of a double."""
    lines = []
    for problem, _, *args in cases:
        fields = [f"i{a}" if isinstance(a, int) else hex_double(a) for a in args]
        lines.append(" ".join([problem] + fields))
    return "\n".join(lines) + "\n"


def host_results(command, cases):
    """Runs a host that prints, per input line, the results as hex bits or NULL."""
    run = subprocess.run(command, input=inputs_text(cases), capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"{' '.join(command)} exited with {run.returncode}:\n{run.stderr}")
    out = []
    for line in run.stdout.splitlines():
        out.append(tuple(None if t == "NULL" else
                         struct.unpack("<d", struct.pack("<Q", int(t, 16)))[0]
                         for t in line.split()))
    if len(out) != len(cases):
        sys.exit(f"{' '.join(command)} printed {len(out)} rows for {len(cases)} inputs")
    return out


def compare(label, cases, actual, want):
    """Counts results that match; prints the first rows that do not."""
    passed = failed = 0
    shown = 0
    by_kind = {}
    for case, got, exp in zip(cases, actual, want):
        names = INVERSE if case[0] == "inverse" else DIRECT
        for name, g, e in zip(names, got, exp):
            if bits(g) == bits(e):
                passed += 1
                continue
            failed += 1
            key = (name, case[1])
            by_kind[key] = by_kind.get(key, 0) + 1
            if shown < 12:
                shown += 1
                print(f"{label}: {name}{tuple(case[2:])!r} [{case[1]}]: "
                      f"got {bits(g)} ({g!r}), expected {bits(e)} ({e!r})")
    for (name, kind), n in sorted(by_kind.items()):
        print(f"{label}: {n} {name} results differ in '{kind}'")
    return passed, failed


def cpu_has_fma():
    """True where /proc/cpuinfo lists the fma flag (or cannot be read)."""
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            return any(line.startswith("flags") and "fma" in line.split() for line in f)
    except OSError:
        return True


def main(argv):
    cases = all_cases()
    if argv[1] == "--musl-maths":
        if len(argv) < 5 or argv[3] != "--host":
            sys.exit("usage: check_bits.py --musl-maths LIB --host CMD...")
        vincenty.use_maths(argv[2], "musl_")
        module, host = None, argv[4:]
    else:
        module, host = argv[1], None
    if module and len(argv) > 3 and argv[2] == "--native-host":
        host = argv[3:]
    elif module and len(argv) > 3 and argv[2] == "--host":
        host = argv[3:]
        if not cpu_has_fma():
            print("SKIPPED: this CPU has no FMA, so this machine's maths library takes its "
                  "SSE2 code, whose last bits differ from arm64's; the comparison needs a "
                  "CPU with FMA")
            return 77
    want = [expected(c) for c in cases]
    passed = failed = 0
    if module:
        passed, failed = compare("module", cases, module_results(module, cases), want)
    if host:
        p, f = compare("host", cases, host_results(host, cases), want)
        passed, failed = passed + p, failed + f
    kinds = len({(c[0], c[1]) for c in cases})
    print(f"{len(cases)} inputs of {kinds} kinds")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
