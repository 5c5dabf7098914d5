#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the fuzzer's seed corpus: the edge cases of both solvers as four
raw doubles, each followed by four type bytes (0 real, 1 integer, 2 text,
3 blob, 4 NULL). Run from the project root: python3 fuzz/make_corpus.py"""
import math
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
NAN_PAYLOAD = struct.unpack("<d", struct.pack("<Q", 0x7FF4000000000123))[0]
INF = math.inf

SEEDS = {
    "zeros": (0.0, 0.0, 0.0, 0.0),
    "negative_zero_longitude": (10.0, 0.0, 20.0, -0.0),
    "coincident": (45.0, 45.0, 45.0, 45.0),
    "equator_east": (0.0, 0.0, 0.0, 1.0),
    "equator_passes_exhausted": (0.0, 0.0, 0.0, 179.7),
    "near_antipode": (6.84596, 0.0, -6.79774, 179.805),
    "just_off_equator": (1e-6, 0.0, 1e-6, 1.0),
    "pole_to_pole": (-90.0, 0.0, 90.0, 0.0),
    "tiny_westward": (0.0, 0.0, 1.0, -1e-300),
    "latitude_beyond_pole": (100.0, -200.0, 45.0, 400.0),
    "from_north_pole": (90.0, 10.0, 0.0, 1e6),
    "distance_past_two_turns": (12.0, 34.0, 37.0, 9e7),
    "negative_distance": (30.0, 40.0, 60.0, -1e6),
    "huge": (1e308, -1e308, 1.7976931348623157e308, 1e300),
    "subnormal": (5e-324, -5e-324, 2.2250738585072009e-308, 1e-310),
    "infinities": (INF, -INF, INF, -INF),
    "nan_payload": (NAN_PAYLOAD, 1.0, 2.0, 3.0),
    "nan_distance": (1.0, 2.0, 3.0, math.nan),
}
KINDS = {"real": b"\0\0\0\0", "mixed": b"\1\2\3\4", "text": b"\2\2\2\2"}

os.makedirs(HERE, exist_ok=True)
for name, values in SEEDS.items():
    for kind, tail in KINDS.items():
        with open(os.path.join(HERE, f"{name}_{kind}"), "wb") as f:
            f.write(struct.pack("<4d", *values) + tail)
