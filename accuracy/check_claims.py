#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks every figure of accuracy/claims.tsv against what the searches of
make accuracy found this time, and over what domain they searched, and that
the docs still state it:

    /usr/bin/python3 accuracy/check_claims.py build-bench/accuracy
    /usr/bin/python3 accuracy/check_claims.py --write-table

Prints one line per claim; exits 1, naming the claim and the input that
beats it, when a search found worse than a figure, when the searches behind
a figure drew from less than the domain it claims, when a doc no longer
says it, or when a search printed no row for it. accuracy/band-claims.tsv
lists, in the same form, each cell of the per-latitude table of the band's
edges. It also fails when either table in docs/accuracy.md (the figures,
and that per-latitude table) is not the one the lists give, which
--write-table writes there.
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


TABLE_START = "<!-- The table below is written by accuracy/check_claims.py --write-table. -->"
TABLE_END = "<!-- End of the table of figures. -->"
BAND_START = "<!-- The per-latitude table below is written by accuracy/check_claims.py --write-table. -->"
BAND_END = "<!-- End of the per-latitude table. -->"
LISTS = ("claims.tsv", "band-claims.tsv")


def claims(name):
    """The rows of one list, as lists of their nine fields."""
    for line in open(os.path.join(ROOT, "accuracy", name), encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        yield line.rstrip("\n").split("\t")


def place(doc):
    """(page, heading) of a claim's doc field, "PAGE § HEADING": the
    section its words must be in."""
    page, _, heading = doc.partition(" § ")
    return page, heading


FENCE = re.compile(r"^(```|~~~).*?^\1[^\n]*$", re.S | re.M)


def own_section(text, heading):
    """(start, end) in text of the section under the heading line, to the
    next heading of any level: its own paragraphs, not its subsections'.
    None without such a heading."""
    bare = FENCE.sub(lambda m: re.sub(r"[^\n]", " ", m.group()), text)  # a "# comment" in code is no heading
    match = re.search(rf"^#+ {re.escape(heading)}[ \t]*$", bare, re.M) if heading else None
    if not match:
        return None
    end = re.compile(r"^#+ ", re.M).search(bare, match.end())
    return match.start(), end.start() if end else len(text)


def metres(x):
    for unit, size in (("km", 1e3), ("m", 1), ("mm", 1e-3), ("µm", 1e-6), ("nm", 1e-9)):
        if x >= size:
            v = x / size
            return (f"{v:,.0f}".replace(",", " ") if v >= 100 else f"{v:.2g}") + " " + unit
    return f"{x:g} m"


def in_words(text):
    """A claim's domain as the docs would say it."""
    d = domain(text)
    words = []
    if "pole" in d and d["pole"][0] > 0:
        words.append(f"both points at least {d['pole'][0]:g}° ({metres(d['pole'][0] * 111319.49)}) from a pole")
    if "lon" in d:
        words.append("lon1 = 0" if d["lon"] == (0, 0) else "any longitudes within ±180°")
    words.append({"yes": "across ±180° or not", "only": "across or touching ±180°", "no": "on one side of ±180°"}
                 .get(d.get("cross"), ""))
    if "dlon" in d:
        low, high = d["dlon"]
        words.append(f"longitude difference up to {high:g}°" if low == 0 else
                     f"longitude difference {low:g}° to {high:g}°")
    if "length" in d:
        low, high = d["length"]
        if high == math.inf and low > 0:
            words.append(f"lines of {metres(low)} or more")
        elif high != math.inf:
            words.append(f"lines of {metres(low)} to {metres(high)}" if low > 0 else f"lines up to {metres(high)}")
    if "distance" in d:
        low, high = d["distance"]
        span = f"{metres(low)} to {metres(high)}" if low > 0 else f"up to {metres(high)}"
        if high > 1e300:
            span = f"{metres(low)} to the largest double"
        words.append(span + (", forwards or backwards" if d.get("backwards") == "yes" else ""))
    return "; ".join(w for w in words if w)


def table():
    """The table of figures that docs/accuracy.md shows, from the list."""
    lines = [TABLE_START, "",
             "| functions | figure | domain | error, as measured | stated in |",
             "|---|---:|---|---|---|"]
    for functions, claimed, measure, bound, kind, _, _, doc, _ in claims("claims.tsv"):
        figure = f"from {bound}°" if kind == "min-edge" else f"≤ {bound}"
        names = ", ".join(f"`{f.strip()}`" for f in functions.split(","))
        cells = [names, figure, in_words(claimed), measure, doc]
        lines.append("| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |")
    return "\n".join(lines + ["", TABLE_END])


# The per-latitude table's columns: the start of each cell's search row.
BAND_COLUMNS = ("On the parallel at {}°, any error over 1 mm from:",
                "Off the parallel at {}°, over 1 mm from:", "Off the parallel at {}°, over 1 m from:",
                "Off the parallel at {}°, over 1 km from:", "Largest offset at {}° with an error over 1 mm:")


def band_table():
    """The per-latitude table of the band's edges, from band-claims.tsv."""
    cells = {row: (bound, kind) for _, _, _, bound, kind, _, row, _, _ in claims("band-claims.tsv")}
    latitudes = sorted({int(re.search(r"at (\d+)°", row).group(1)) for row in cells})
    lines = [BAND_START, "",
             "| lat1 | on the antipodal parallel: any error over 1 mm, 1 m or 1 km from | off it: > 1 mm | > 1 m "
             "| > 1 km | largest offset with > 1 mm |",
             "|---:|---:|---:|---:|---:|---:|"]
    for lat in latitudes:
        row = [f"{lat}°"]
        for column in BAND_COLUMNS:
            bound, _ = cells[column.format(lat)]
            row.append(f"{bound}°")
        lines.append("| " + " | ".join(row) + " |")
    return "\n".join(lines + ["", BAND_END])


def table_in_docs(write):
    """Whether docs/accuracy.md shows table() and band_table(); with
    write, makes it so."""
    path = os.path.join(ROOT, "docs", "accuracy.md")
    text = open(path, encoding="utf-8").read()
    new = text
    for start_mark, end_mark, make in ((TABLE_START, TABLE_END, table), (BAND_START, BAND_END, band_table)):
        start, end = new.find(start_mark), new.find(end_mark)
        if start < 0 or end < 0:
            return False
        new = new[:start] + make() + new[end + len(end_mark):]
    if write:
        open(path, "w", encoding="utf-8").write(new)
    return new == text


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
    if sys.argv[1:] == ["--write-table"]:
        return 0 if table_in_docs(write=True) or table_in_docs(write=False) else 1
    folder = sys.argv[1]
    failed = passed = 0
    if not table_in_docs(write=False):
        failed += 1
        print("FAIL: docs/accuracy.md: its tables of figures are not the ones accuracy/claims.tsv and "
              "band-claims.tsv give; run accuracy/check_claims.py --write-table")
    for _, claimed, _, bound, kind, source, rows, doc, claim_text in (c for name in LISTS for c in claims(name)):
        bound = float(bound)
        page, heading = place(doc)
        text = open(os.path.join(ROOT, page), encoding="utf-8").read()
        found_at = own_section(text, heading)
        words = " ".join(text[found_at[0]:found_at[1]].split()) if found_at else ""
        problems, worst, where, searched = [], None, "(no call)", []
        if not found_at:
            problems.append(f"{page} has no section '{heading}'" if heading else
                            "names no section (\"PAGE § HEADING\"), which its words must be in")
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
        if found_at and " ".join(claim_text.split()) not in words:
            problems.append(f"{doc} no longer says '{claim_text}'")
        if problems:
            failed += 1
            for problem in problems:
                print(f"FAIL: {doc}: '{claim_text}': {problem}")
        else:
            passed += 1
            print(f"ok: {doc}: '{claim_text}': {bound} holds "
                  f"({'edge' if kind == 'min-edge' else 'worst found'} {worst}, at {where})")
    print(f"claims: {passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
