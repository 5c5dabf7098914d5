#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that every figure the README and the docs state has a source:

    /usr/bin/python3 accuracy/check_figures.py [build-bench/accuracy] [PAGE...]

(all pages unless some are named; PAGE=FILE checks FILE as if it were
that page, e.g. docs/accuracy.md=edited.md).

A figure is a number that states an error, an edge, a reach, a range or a
count: one with a unit of length, angle or share (mm, km, °, ″, %), one in
e-notation, or one that counts things (pairs, lines, passes, ...); not
the coordinates' own bounds (0, 90, 180, 360) or the thresholds 1 mm,
1 m, 1 km. Each must lie inside one of:

  - the text of a row of accuracy/claims.tsv or band-claims.tsv, which
    check_claims.py holds to what the searches found;
  - a table that a script writes between markers (check_claims.py
    --write-table), which that script compares;
  - a fenced code block: SQL examples with results in their comments are
    run by tests/docs_examples.py, other blocks are commands and output;
  - a result stated in the prose as "`project_lon(0, 0, 90, 1e308)` is
    −3.02e300", which tests/docs_examples.py runs as well;
  - a table after the comment "<!-- Printed by make accuracy into
    build-bench/accuracy/NAME. -->": each of its rows must be a line of
    that output (checked when the folder is given);
  - a passage listed in accuracy/figures.tsv (ending in "…": from its
    words to the end of the paragraph or list item) with the file it
    comes from: every figure in the passage must be a number of that file
    (a constant of the code, a search's parameter, a test's input, or a
    search's output in build-bench/accuracy/, checked when that folder is
    given), equal to it as far as the page rounds it, lengths in metres;
  - a passage listed with "= ARITHMETIC" instead of a file: a figure
    derived from others, which must be that arithmetic's result, rounded
    either way to the page's last digit;
  - a passage listed as "said tried by hand", which says that it was: an
    observation no script can repeat (a full disk crashing a server);
  - a section listed in accuracy/figures.tsv as "section: COMMAND" with its
    heading: speed figures and portability tables, which their own scripts
    measure; the section must name its command.

Exits 1 naming the page, the line and the sentence of each figure with no
source, and each listed passage the page no longer says or whose file
does not hold its figures.
"""
import glob
import math
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests"))
from docs_examples import INLINE  # noqa: E402  the results stated in prose that it runs

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
LEDGER = os.path.join(ROOT, "accuracy", "figures.tsv")
CLAIM_LISTS = ("claims.tsv", "band-claims.tsv")

# A number as the pages write it: signs, spaces between groups of three
# digits (1 000 000), a decimal part, an exponent (1e-7, 1.5e+300).
NUMERAL = r"[−\-±+]?\d{1,3}(?: \d{3})+(?:\.\d+)?(?![\d.])|[−\-±+]?\d+(?:\.\d+)?(?:e[+\-−]?\d+)?"
UNIT = r"\s?(?:nm|µm|mm|cm|km|m|metres?|°|″|\"|%|degrees?|arcseconds?)(?![\w])"
NOUNS = ("pairs|lines|points|passes|evaluations|claims|inputs|starts|results|rows|centres|cells|"
         "calls|figures|generations|populations|longitudes|checks")
COUNTED = rf"(?:(?:\s+[\w-]+){{0,3}}?\s+(?:{NOUNS})\b|\s+of\s)"
FIGURE = re.compile(rf"(?<![\w.^/])({NUMERAL})(?:(?={UNIT})|(?={COUNTED}))|(?<![\w.])(\d+(?:\.\d+)?e[+\-−]?\d+)")
GENERATED = re.compile(r"<!-- The (?:[\w-]+ )*table below is written by .*?<!-- End of the [^>]*-->", re.S)
CODE = re.compile(r"^(```|~~~).*?^\1[^\n]*$", re.S | re.M)
INLINE_CODE = re.compile(r"`[^`]*`")
LINK_TARGET = re.compile(r"\]\([^)]*\)|<!--.*?-->", re.S)
PRINTED = re.compile(r"<!-- Printed by make accuracy into build-bench/accuracy/([\w.-]+)\. -->\n\n?((?:\|.*\n)+)")


def pages():
    return [os.path.join(ROOT, "README.md")] + sorted(glob.glob(os.path.join(ROOT, "docs", "*.md")))


def blank(text, pattern):
    """text with each match of pattern replaced by as many spaces (newlines
    kept), so that offsets and line numbers stay those of the page."""
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group()), text)


def value(numeral):
    """A page's numeral as a float, and the size of its last stated digit."""
    text = numeral.replace("−", "-").replace("±", "").replace(" ", "").lstrip("+")
    number = float(text)
    mantissa, _, exponent = text.partition("e")
    decimals = len(mantissa.split(".")[1]) if "." in mantissa else 0
    return number, 10.0 ** min(307, int(exponent or 0) - decimals)


def normalised(text):
    """Whitespace-collapsed text, and for each of its characters the offset
    of that character in text."""
    out, where, space = [], [], False
    for i, c in enumerate(text):
        if c.isspace():
            space = bool(out)
            continue
        if space:
            out.append(" ")
            where.append(i)
            space = False
        out.append(c)
        where.append(i)
    return "".join(out), where


def spans(text, passage):
    """Offsets (start, end) in text of each occurrence of passage, matched
    across line breaks."""
    flat, where = normalised(text)
    needle = " ".join(passage.split())
    found, start = [], flat.find(needle)
    while needle and start >= 0:
        found.append((where[start], where[start + len(needle) - 1] + 1))
        start = flat.find(needle, start + 1)
    return found


def sentence(text, offset):
    """The sentence of text around offset, on one line."""
    start = max(text.rfind(". ", 0, offset), text.rfind("\n\n", 0, offset), text.rfind("\n- ", 0, offset),
                text.rfind("\n|", 0, offset), text.rfind("\n#", 0, offset))
    ends = [e for e in (text.find(". ", offset), text.find("\n\n", offset), text.find("\n- ", offset),
                        text.find("|", offset)) if e >= 0]
    end = min(ends) if ends else len(text)
    return " ".join(text[start + 1:end + 1].strip(" .-|#\n").split())


def where(text, passage):
    """spans() of a listed passage; one ending in "…" runs from its words
    to the end of their paragraph or list item."""
    found = spans(text, passage.rstrip("…"))
    if passage.endswith("…"):
        found = [(start, min(e for e in (text.find("\n\n", start), text.find("\n- ", start),
                                         text.find("\n|", start), len(text)) if e >= 0))
                 for start, _ in found]
    return found


def section(text, heading):
    """(start, end) of the section under the heading line, up to the next
    heading of its level or above; None if the page has no such heading."""
    text = blank(text, CODE)  # a "# comment" in a code block is no heading
    match = re.search(rf"^(#+) {re.escape(heading)}\s*$", text, re.M)
    if not match:
        return None
    level = len(match.group(1))
    end = re.compile(rf"^#{{1,{level}}} ", re.M).search(text, match.end())
    return match.start(), end.start() if end else len(text)


def ledger():
    """The rows of figures.tsv: (page, source file, passage)."""
    rows = []
    for number, line in enumerate(open(LEDGER, encoding="utf-8"), 1):
        if line.startswith("#") or not line.strip():
            continue
        page, source, passage = line.rstrip("\n").split("\t")
        rows.append((number, page, source, passage))
    return rows


def claim_texts():
    """The text of each claim. A page that repeats a claim's words states
    the same figure, held by the same row."""
    texts = []
    for name in CLAIM_LISTS:
        for line in open(os.path.join(ROOT, "accuracy", name), encoding="utf-8"):
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            texts.append(fields[8])
    return texts


def numbers_of(path):
    """Every number written in a file (a source, a test, a search's output)."""
    text = open(path, encoding="utf-8", errors="replace").read()
    found = set()
    grouped = r"(?<![\w])\d{1,3}(?:(?: \d{3})+|(?:,\d{3})+)(?:\.\d+)?(?![\d.])"  # 1 000 000, 1,000,000
    plain = r"(?<![\w])\d[\d']*(?:\.\d*)?(?:[eE][+\-]?\d+)?|(?<=[\s(,=])\.\d+(?:[eE][+\-]?\d+)?"
    for m in re.finditer(f"{grouped}|{plain}", text):
        try:
            found.add(float(re.sub("[' ,]", "", m.group())))
        except ValueError:
            pass
    return found


# What a unit after a figure multiplies it by, to the units files use.
SCALES = {"nm": 1e-9, "µm": 1e-6, "mm": 1e-3, "cm": 1e-2, "km": 1e3, "million": 1e6}


def holds(numeral, unit, numbers, outward=False):
    """Whether some number of the file is the figure, as far as the page
    rounds it (half a unit of its last digit, or a whole one when rounded
    outward), as the page writes it or in metres (files keep lengths in
    metres)."""
    figure, last = value(numeral)
    slack = last * (1 if outward else 0.5) * (1 + 1e-9)
    for scale in {1.0, SCALES.get(unit, 1.0)}:
        if any(abs(abs(n) - abs(figure) * scale) <= slack * scale for n in numbers):
            return True
    return False


# Not figures: the bounds of the coordinates themselves (the equator, the
# poles, the antimeridian, a full turn) and the unit thresholds (1 mm, 1 m,
# 1 km) that figures are stated against.
DEFINITIONS = {0.0, 1.0, 90.0, 180.0, 360.0, math.inf}  # and 9e999, SQL's way to write infinity


def figures(text):
    """(offset, numeral, unit) of each figure in text."""
    for m in FIGURE.finditer(text):
        numeral = m.group(1) or m.group(2)
        if abs(value(numeral)[0]) in DEFINITIONS:
            continue
        unit = re.match(r"\s?(nm|µm|mm|cm|km|million)(?!\w)", text[m.end():])
        yield m.start(1) if m.group(1) else m.start(2), numeral, unit.group(1) if unit else ""


def printed(name, text, outputs):
    """Spans of the tables marked as printed by make accuracy, and the
    rows of them that this run's output (when given) does not have."""
    spans_, problems = [], []
    for table in PRINTED.finditer(text):
        spans_.append(table.span(2))
        if outputs is None:
            continue
        file = os.path.join(outputs, table.group(1))
        lines = set(open(file, encoding="utf-8").read().splitlines()) if os.path.exists(file) else set()
        line = text.count("\n", 0, table.start(2)) + 1
        problems += [f"{name}:{line}: build-bench/accuracy/{table.group(1)} has no row '{row}'"
                     for row in table.group(2).splitlines() if row not in lines]
    return spans_, problems


def listed_problems(name, text, found, source, passage, skip, outputs, numbers_cache):
    """What is wrong with one listed passage, found at found, given its
    source; figures in skip (a claim's, a narrower passage's) are not its."""
    if source == "said tried by hand":  # no script measures it, and the page says so
        return [] if "tried by hand" in passage else [f"{name}: '{passage}': listed as tried by hand, but does not say so"]
    start, end = found
    shown = [(o, n, u) for o, n, u in figures(blank(blank(text[start:end], INLINE_CODE), LINK_TARGET))
             if not any(s <= start + o < e for s, e in skip)]
    if source.startswith("= "):
        # Derived from other figures: the arithmetic, written out. The list
        # is this project's own file, read as its code is.
        result = eval(source[2:], {"__builtins__": {}}, {"pi": math.pi})
        derived = set(result) if isinstance(result, tuple) else {result}
        return [f"{name}: '{passage}': {numeral} is not {source[2:]}"
                for _, numeral, unit in shown if not holds(numeral, unit, derived, outward=True)]
    source, outward = re.subn(r", rounded outward$", "", source)
    if source.startswith("build-bench/accuracy/"):
        if outputs is None:
            return []
        file = os.path.join(outputs, os.path.basename(source))
    else:
        file = os.path.join(ROOT, source)
    if not os.path.exists(file):
        return [f"{name}: '{passage}': no file {source}"]
    if file not in numbers_cache:
        numbers_cache[file] = numbers_of(file)
    return [f"{name}: '{passage}': {source} has no number {numeral}"
            for _, numeral, unit in shown if not holds(numeral, unit, numbers_cache[file], outward)]


def check(page_paths, outputs):
    """The problems of the pages, and how many figures they state."""
    problems, counted = [], 0
    claims = claim_texts()
    rows = ledger()
    numbers_cache = {}
    for path in page_paths:
        name, _, path = path.rpartition("=") if "=" in path else (os.path.relpath(path, ROOT), "", path)
        text = open(path, encoding="utf-8").read()
        prose = blank(blank(blank(blank(text, GENERATED), CODE), INLINE_CODE), LINK_TARGET)
        held = [s for claim in claims for s in spans(text, claim)]
        held += [m.span(2) for m in INLINE.finditer(text)]
        tables, wrong = printed(name, text, outputs)
        covered, problems = held + tables, problems + wrong
        mine = [row for row in rows if row[1] == name]
        listed = [span for _, _, source, passage in mine if not source.startswith("section: ")
                  for span in where(text, passage)]
        for number, _, source, passage in mine:
            if source.startswith("section: "):
                found = section(text, passage)
                command = source[len("section: "):]
                if found is None:
                    problems.append(f"{name}: figures.tsv line {number}: the page has no heading '{passage}'")
                elif command not in " ".join(text[found[0]:found[1]].split()):
                    problems.append(f"{name}: '{passage}': the section does not name {command}, "
                                    "which measures its figures")
                covered += [found] if found else []
                continue
            found = where(text, passage)
            if not found:
                problems.append(f"{name}: figures.tsv line {number}: the page no longer says '{passage}'")
                continue
            covered += found
            inner = [(s, e) for s, e in listed if found[0][0] <= s and e <= found[0][1] and (s, e) != found[0]]
            problems += listed_problems(name, text, found[0], source, passage, held + inner, outputs,
                                        numbers_cache)
        for offset, numeral, _ in figures(prose):
            counted += 1
            if not any(start <= offset < end for start, end in covered):
                line = text.count("\n", 0, offset) + 1
                problems.append(f"{name}:{line}: {numeral} has no source, in: {sentence(text, offset)}")
    problems += [f"figures.tsv line {number}: no page {page}" for number, page, _, _ in rows
                 if not os.path.exists(os.path.join(ROOT, page))]
    return problems, counted


def main():
    args = sys.argv[1:]
    outputs = args.pop(0) if args and os.path.isdir(args[0]) else None
    budget = os.environ.get("ACCURACY_BUDGET", "1")
    if outputs and budget != "1":
        # The pages print what the default budget finds; a finer search
        # finds other worst points and counts, and check_claims.py holds
        # them to the bounds.
        print(f"ACCURACY_BUDGET={budget}: the pages' printed figures come from the budget of 1; "
              "checking their sources, not this run's numbers")
        outputs = None
    page_paths = [p if "=" in p else os.path.abspath(p) for p in args] or pages()
    problems, counted = check(page_paths, outputs)
    for problem in problems:
        print(f"FAIL: {problem}")
    print(f"figures: {counted} on {len(page_paths)} pages, {len(problems)} problems"
          + ("" if outputs else " (search outputs not checked: no folder given)"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
