#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks every figure of accuracy/claims.tsv against what the searches of
make accuracy found this time, and over what domain they searched, and that
the docs still state it:

    /usr/bin/python3 accuracy/check_claims.py build-bench/accuracy

Prints one line per claim; exits 1, naming the claim and the input that
beats it, when a search found worse than a figure, when the searches behind
a figure drew from less than the domain it claims, when a doc no longer
says it, or when a search printed no row for it.
"""
import math
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)
GEOGRAPHICLIB_ERROR = 15e-9  # metres: what a distance figure must clear by
NUMBER = re.compile(r"-?\d+(?:\.\d+)?(?:e[+-]?\d+)?")
CALL = re.compile(r"`(\w+)\(([^)]*)\)`")
# What a search's cross= covers of a claim's.
CROSSES = {"yes": {"yes", "no", "only"}, "no": {"no"}, "only": {"only"}}


def domain(text):
    """{key: (from, to)} for ranges, {key: word} otherwise."""
    keys = {}
    for item in text.split():
        key, value = item.split("=", 1)
        if ".." in value:
            low, high = value.split("..")
            keys[key] = (float(low) if low else -math.inf, float(high) if high else math.inf)
        else:
            try:
                keys[key] = (float(value), float(value))
            except ValueError:
                keys[key] = value
    return keys


def uncovered(claimed, searched):
    """The claim's keys that the rows' domains leave out, in words. A
    claim's domain may be split between its rows, key by key: the union of
    the rows' ranges, or of the kinds of line, must cover the claim's."""
    gaps = []
    for key, want in claimed.items():
        have = [d.get(key) for d in searched]
        if any(h is None for h in have):
            gaps.append(f"{key} not searched")
        elif isinstance(want, tuple):
            reach = want[0]  # how far from the low end the union reaches
            for low, high in sorted(have):
                if low <= reach:
                    reach = max(reach, high)
            if reach < want[1] or min(low for low, _ in have) > want[0]:
                gaps.append(f"{key} claimed {want[0]:g}..{want[1]:g}, searched "
                            + " + ".join(f"{lo:g}..{hi:g}" for lo, hi in have))
        else:
            covered = set().union(*(CROSSES.get(h, {h}) for h in have))
            if {"no", "only"} <= covered:
                covered.add("yes")  # one row's lines cross, another's don't
            if want not in covered:
                gaps.append(f"{key} claimed {want}, searched {' + '.join(have)}")
    return gaps


def found(folder, source, row):
    """(value, call, domain) of the row (worst-cases.tsv: figure, unrounded
    value, call, domain) or of the line that starts with row (band-edges.md)."""
    for line in open(os.path.join(folder, source), encoding="utf-8"):
        if source.endswith(".tsv"):
            figure, value, call, searched = line.rstrip("\n").split("\t")
            if figure == row:
                return float(value), CALL.search(f"`{call}`"), domain(searched)
            continue
        line = line.strip()
        if line.startswith(row):
            rest = line[len(row):]
            return float(NUMBER.search(rest).group()), CALL.search(line), None
    return None, None, None


def main():
    folder = sys.argv[1]
    failed = passed = 0
    for line in open(os.path.join(ROOT, "accuracy", "claims.tsv"), encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        _, claimed, _, bound, kind, source, rows, doc, text = line.rstrip("\n").split("\t")
        bound = float(bound)
        words = " ".join(open(os.path.join(ROOT, doc), encoding="utf-8").read().split())
        problems, worst, where, searched = [], None, "(no call)", []
        for row in rows.split(" + "):
            value, call, row_domain = found(folder, source, row)
            if value is None:
                problems.append(f"{source} has no row '{row}'")
                continue
            if row_domain is not None:
                searched.append(row_domain)
            at = f"`{call.group(1)}({call.group(2)})`" if call else "(no call)"
            if kind == "min-edge":
                value = float(call.group(2).split(",")[3])
                if value < bound:
                    problems.append(f"found from {value!r}°, below {bound}°, at {at}")
            else:
                margin = GEOGRAPHICLIB_ERROR if kind == "max-distance" else 0
                if value + margin > bound:
                    problems.append(f"found {value}, over {bound} less {margin}, at {at}")
            if worst is None or (value < worst if kind == "min-edge" else value > worst):
                worst, where = value, at
        if searched:
            problems += [f"searched less than claimed: {gap}" for gap in uncovered(domain(claimed), searched)]
        if " ".join(text.split()) not in words:
            problems.append(f"{doc} no longer says '{text}'")
        if problems:
            failed += 1
            for problem in problems:
                print(f"FAIL: {doc}: '{text}': {problem}")
        else:
            passed += 1
            print(f"ok: {doc}: '{text}': {bound} holds "
                  f"({'edge' if kind == 'min-edge' else 'worst found'} {worst}, at {where})")
    print(f"claims: {passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
