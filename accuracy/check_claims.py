#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks every figure of accuracy/claims.tsv against what the searches of
make accuracy found this time, and that the docs still state it:

    /usr/bin/python3 accuracy/check_claims.py build-bench/accuracy

Prints one line per claim; exits 1, naming the claim and the input that
beats it, when a search found worse than a figure, when a doc no longer
says it, or when a search printed no row for it.
"""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)
GEOGRAPHICLIB_ERROR = 15e-9  # metres: what a distance figure must clear by
NUMBER = re.compile(r"-?\d+(?:\.\d+)?(?:e[+-]?\d+)?")
CALL = re.compile(r"`(\w+)\(([^)]*)\)`")


def found(folder, source, row):
    """(value, call) of the row (worst-cases.tsv: figure, unrounded value,
    call) or of the line that starts with row (band-edges.md)."""
    for line in open(os.path.join(folder, source), encoding="utf-8"):
        if source.endswith(".tsv"):
            figure, value, call = line.rstrip("\n").split("\t")
            if figure == row:
                return float(value), CALL.search(f"`{call}`")
            continue
        line = line.strip()
        if line.startswith(row):
            rest = line[len(row):]
            return float(NUMBER.search(rest).group()), CALL.search(line)
    return None, None


def main():
    folder = sys.argv[1]
    failed = passed = 0
    for line in open(os.path.join(ROOT, "accuracy", "claims.tsv"), encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        source, row, kind, bound, doc, text = line.rstrip("\n").split("\t")
        bound = float(bound)
        value, call = found(folder, source, row)
        words = " ".join(open(os.path.join(ROOT, doc), encoding="utf-8").read().split())
        where = f"`{call.group(1)}({call.group(2)})`" if call else "(no call)"
        if value is None:
            problem = f"{source} has no row '{row}'"
        elif " ".join(text.split()) not in words:
            problem = f"{doc} no longer says '{text}'"
        elif kind == "min-edge":
            edge = float(call.group(2).split(",")[3])
            problem = f"found from {edge!r}°, below {bound}°, at {where}" if edge < bound else ""
        else:
            margin = GEOGRAPHICLIB_ERROR if kind == "max-distance" else 0
            problem = f"found {value}, over {bound} less {margin}, at {where}" if value + margin > bound else ""
        if problem:
            failed += 1
            print(f"FAIL: {row} ({doc}: '{text}'): {problem}")
        else:
            passed += 1
            print(f"ok: {row}: {bound} holds ({'edge' if kind == 'min-edge' else 'worst found'} {value})")
    print(f"claims: {passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
