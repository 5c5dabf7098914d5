#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How much the maths library's own code paths move the results.

glibc on x86-64 has two versions of sin, cos, tan, atan and atan2 and picks
one by CPU when a program starts: FMA code where the CPU has FMA, SSE2 code
elsewhere. GLIBC_TUNABLES can force the SSE2 code on any CPU. This runs the
same work under both and counts what differs:

  1. each maths function on 1,000,000 seeded arguments of the ranges that
     the solvers use;
  2. all five SQL functions of the module on the bit check's seeded inputs.

With --wasm, it also compares the WebAssembly module (whose maths functions
are musl's, compiled by emscripten) with the native module on the same
inputs, run under Node.js:

    /usr/bin/python3 accuracy/libm_variants.py build/geodesy.so
    /usr/bin/python3 accuracy/libm_variants.py --wasm build-wasm/package build/geodesy.so
"""
import math
import os
import random
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, "tests", "reference"))

SSE2 = "glibc.cpu.hwcaps=-AVX2,-FMA,-AVX,-FMA4"
CALLS = 1_000_000


def hexbits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def frombits(u):
    return struct.unpack("<d", struct.pack("<Q", u))[0]


def libm_digest():
    """Per function, the bit patterns of its results on seeded arguments."""
    r = random.Random(2)
    angle = [r.uniform(-math.pi, math.pi) for _ in range(CALLS)]
    ratio = [math.tan(r.uniform(-1.5707, 1.5707)) for _ in range(CALLS)]
    y = [r.uniform(-1, 1) for _ in range(CALLS)]
    x = [r.uniform(-1, 1) for _ in range(CALLS)]
    return {
        "sin": [hexbits(math.sin(a)) for a in angle],
        "cos": [hexbits(math.cos(a)) for a in angle],
        "tan": [hexbits(math.tan(a)) for a in angle],
        "atan": [hexbits(math.atan(t)) for t in ratio],
        "atan2": [hexbits(math.atan2(a, b)) for a, b in zip(y, x)],
        "sqrt": [hexbits(math.sqrt(abs(a))) for a in angle],
    }


def sql_digest(module):
    import check_bits
    cases = check_bits.all_cases()
    rows = check_bits.module_results(module, cases)
    return {"sql": [(c[0], c[1], tuple(check_bits.bits(v) for v in row))
                    for c, row in zip(cases, rows)]}


def child(module):
    import pickle
    digest = libm_digest()
    digest.update(sql_digest(module))
    sys.stdout.buffer.write(pickle.dumps(digest))


def run(module, tunables):
    import pickle
    env = dict(os.environ)
    env.pop("GLIBC_TUNABLES", None)
    if tunables:
        env["GLIBC_TUNABLES"] = tunables
    out = subprocess.run([sys.executable, __file__, "--child", module], env=env,
                         capture_output=True, check=True).stdout
    return pickle.loads(out)


def main():
    module = sys.argv[-1]
    if len(sys.argv) == 3 and sys.argv[1] == "--child":
        return child(module)
    fma = "fma" in open("/proc/cpuinfo").read().split()
    print(f"CPU has FMA: {'yes' if fma else 'no (both runs take the SSE2 code)'}")
    default, sse2 = run(module, None), run(module, SSE2)
    print(f"\nmaths library, default code against GLIBC_TUNABLES={SSE2}:")
    print("| function | calls | results that differ | one in | largest difference (ulp) |")
    print("|---|---:|---:|---:|---:|")
    for name in ("sin", "cos", "tan", "atan", "atan2", "sqrt"):
        gaps = [abs(a - b) for a, b in zip(default[name], sse2[name]) if a != b]
        n = len(gaps)
        print(f"| {name} | {CALLS:,} | {n:,} | {f'{CALLS // n:,}' if n else ''} | {max(gaps, default=0)} |")
    print("\nSQL results of the module on the bit check's inputs, same comparison:")
    sql_table(default["sql"], sse2["sql"])
    if "--wasm" in sys.argv:
        wasm_package = sys.argv[sys.argv.index("--wasm") + 1]
        print(f"\nSQL results of the WebAssembly module ({wasm_package}) against the "
              "native module's default code:")
        sql_table(default["sql"], wasm_digest(wasm_package))


def wasm_digest(package):
    import check_bits
    host = os.path.join(HERE, os.pardir, "tests", "hosts", "wasm_host.js")
    cases = check_bits.all_cases()
    rows = check_bits.host_results(["node", host, package], cases)
    return [(c[0], c[1], tuple(check_bits.bits(v) for v in row)) for c, row in zip(cases, rows)]


def sql_table(first, second):
    """Per SQL function: how many results differ; of those, how many by at
    most 2 ulps and the 99th percentile of the ulps; and the largest
    difference in value (metres or degrees) with the kind of line it was
    found on. Ulps alone mislead on lines a fraction of a metre long, whose
    tiny distances have tiny ulps."""
    print("| function | results | differ | by 1–2 ulp | 99% within (ulp) | largest move | kind of line |")
    print("|---|---:|---:|---:|---:|---:|---|")
    names = {"inverse": ("distance", "azimut_start", "azimut_end"),
             "direct": ("project_lat", "project_lon")}
    stats = {}
    for (problem, kind, a), (_, _, b) in zip(first, second):
        for name, x, y in zip(names[problem], a, b):
            st = stats.setdefault(name, {"total": 0, "ulps": [], "move": 0.0, "kind": ""})
            st["total"] += 1
            if x == y:
                continue
            if "NULL" in (x, y):
                st["ulps"].append(math.inf)
                continue
            st["ulps"].append(abs(int(x, 16) - int(y, 16)))
            move = abs(frombits(int(x, 16)) - frombits(int(y, 16)))
            if move > st["move"]:
                st["move"], st["kind"] = move, kind
    for name in ("distance", "azimut_start", "azimut_end", "project_lat", "project_lon"):
        st = stats[name]
        ulps = sorted(st["ulps"])
        small = sum(1 for u in ulps if u <= 2)
        p99 = f"{ulps[(99 * len(ulps)) // 100]:,}" if ulps else ""
        print(f"| {name} | {st['total']:,} | {len(ulps):,} | {small:,} | {p99} | "
              f"{st['move']:.2g} | {st['kind']} |")


if __name__ == "__main__":
    main()
