#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that every figure a reader reads has a source:

    /usr/bin/python3 accuracy/check_figures.py [build-bench/accuracy] [PAGE...]

(all pages unless some are named; PAGE=FILE checks FILE as if it were
that page, e.g. docs/accuracy.md=edited.md). The pages are the README,
docs/*.md, the CHANGELOG and the READMEs the packages ship.

A figure is every number a reader reads, unit or not: with a unit of
length, angle, share, time or size in any spelling (mm, millimetres,
3-mm, µm or μm, nm, nmi, ft, km; °, º, deg, ″, ”, '', arcsec, ′; %, per
cent; ns to hours; KB to GiB), in any notation (1e-7, 8E-1, 1e–7,
3×10^-9, 10<sup>-7</sup>, .01, 1/4, 3x, grouped digits 1 000 or 1,000),
in words where a unit follows (ten nanometres, ½ mm) and ratios in words
(a quarter of, twice as), both ends of a range; in prose, emphasis and
HTML, table cells, link titles, inline code that holds nothing but a
figure, and the results code blocks show. 1 is a figure like any other.
Not figures: the coordinates' own bounds (0, 90, 180, 270, 360), numbers
that are part of a word, a path, an address or a date, and the uses
listed in EXCLUSIONS (versions, exit codes, HTTP statuses, ...), each
with its reason. Each figure must lie inside one of:

  - the words of a claim of accuracy/claims.tsv or band-claims.tsv, in
    the section the claim names (its own paragraphs, to the next heading),
    once; a claim's words must state its bound (the
    number and unit, converted), and check_claims.py holds the bound to
    what the searches found;
  - one of the two tables check_claims.py --write-table writes into
    docs/accuracy.md, which must be what it writes (compared every run);
  - a result in an SQL block's comments, which tests/docs_examples.py
    runs; other code blocks are read where they show results, where every
    number is a figure: an output block (text, json, or a console block's
    lines but those after "$ ") and a comment in any other ("# (1.5,)");
    a block with no language is refused, as its reader cannot tell output
    from commands. compared_elsewhere() lists the output blocks a test runs
    and compares;
  - a result stated in the prose as "`project_lon(0, 0, 90, 1e308)` is
    −3.02e300", which tests/docs_examples.py runs as well;
  - a table after "<!-- Printed by make accuracy into
    build-bench/accuracy/NAME. -->": each row must be a line of that
    output (checked when the folder is given);
  - a passage listed in accuracy/figures.tsv (ending in "…": to the end of
    the paragraph or list item) with the file it comes from, never the
    page itself, and the line or lines of that file that hold its figures
    ("FILE @ WORDS @ WORDS": words that occur once in the file, or a whole
    field of one row of a TSV file): every figure in the passage must be a
    number of those lines, equal to it as far as the page rounds it,
    lengths in metres and times in any of s, ms, µs, ns, and each line
    named must hold one of them;
  - a passage listed with "= ARITHMETIC": a figure derived from others;
  - a passage listed as "said tried by hand", which says that it was and
    on which date ("tried by hand on 2026-12-09"); the report lists them;
  - a section listed as "section: COMMAND (KINDS)" with its heading: the
    figures of the kinds it names (times and counts unless it names more)
    that the command measures, in the section's own paragraphs (to the
    next heading of any level, so a page's title covers only its opening);
    the section must name its command.

Given a fresh run's folder (make accuracy at the default budget), it also
fails when the committed outputs in accuracy/expected, which make test
checks the pages against, are not what that run printed.

Exits 1 naming the page, the line and the sentence of each figure with no
source, and each listed passage or claim that is wrong.
"""
import functools
import glob
import math
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests"))
from docs_examples import INLINE  # noqa: E402  the results stated in prose that it runs

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
# What make accuracy printed at the default budget, as committed: the
# pages' printed tables and figures are checked against it in every run,
# and against a fresh run's outputs by make accuracy.
EXPECTED = os.path.join(ROOT, "accuracy", "expected")
# Where the ledger and the claims are read from (a test points it at edited copies).
LISTS_DIR = os.path.join(ROOT, "accuracy")
CLAIM_LISTS = ("claims.tsv", "band-claims.tsv")

# A number as the pages write it: signs, spaces between groups of three
# digits (1 000 000), a decimal part, an exponent (1e-7, 1.5e+300).
NUMERAL = (r"[−\-±+]?(?:\d+(?:\.\d+)?\s?[×x]\s?)?10(?:\^|<sup>)[+\-−⁻]?[\d⁰¹²³⁴⁵⁶⁷⁸⁹]+(?:</sup>)?|"
           r"[−\-±+]?\d{1,3}(?:[  ,]\d{3})+(?:\.\d+)?(?![\d.])|"
           r"[−\-±+]?\d+(?:\.\d+)?(?:[eE][+\-−]?\d+|\s?[×x]\s?10(?:\^|<sup>)?[+\-−⁻]?[\d⁰¹²³⁴⁵⁶⁷⁸⁹]+(?:</sup>)?)?")
LENGTH = (r"nmi|nm|[µμ]m|um|mm|cm|km|m|ft|feet|foot|(?:nano|micro|milli|centi|kilo)?(?:metres?|meters?)|"
          r"nautical miles?|miles?")
ANGLE = r"°|º|deg|degrees?|″|”|''|\"|arcsec(?:onds?)?|′|'|arcmin(?:utes?)?"
SHARE = r"%|per ?cent"
TIME = r"ns|[µμ]s|us|ms|s|sec|seconds?|min|minutes?|h|hours?|(?:nano|micro|milli)seconds?"
KINDS = {"lengths": re.compile(rf"(?:\s?|-)(?:{LENGTH})(?![\w])"), "angles": re.compile(rf"(?:\s?|-)(?:{ANGLE})(?![\w])"),
         "shares": re.compile(rf"(?:\s?|-)(?:{SHARE})(?![\w])"), "times": re.compile(rf"(?:\s?|-)(?:{TIME})(?![\w])")}


def kind(text, end):
    """What the figure ending at end measures: lengths, angles, shares,
    times, or (a bare number) counts."""
    return next((name for name, unit in KINDS.items() if unit.match(text, end)), "counts")
# A unit after a number, or after a hyphen ("a 3-mm error").
UNIT = rf"(?:\s?|-)(?:{LENGTH}|{ANGLE}|{SHARE}|{TIME})(?![\w])"
NOUNS = ("pairs|lines|points|passes|evaluations|claims|inputs|starts|results|rows|centres|cells|"
         "calls|figures|generations|populations|longitudes|checks")
COUNTED = rf"(?:(?:\s+[\w-]+){{0,3}}?\s+(?:{NOUNS})\b|\s+of\s)"
# The first number of a range takes the unit of the second: "1–5 mm".
RANGE = rf"\s?(?:–|—|-|−|to|and)\s?(?:{NUMERAL})(?={UNIT})"
# Numbers written as words, where a unit follows ("ten nanometres", "half
# a second").
WORDS = {"one": 1, "two": 2, "three": 3, "four": 4, "five": 5, "six": 6, "seven": 7, "eight": 8, "nine": 9,
         "ten": 10, "eleven": 11, "twelve": 12, "fifteen": 15, "twenty": 20, "thirty": 30, "forty": 40,
         "fifty": 50, "sixty": 60, "a hundred": 100, "a thousand": 1000, "a million": 1e6, "half a": 0.5,
         "a quarter of a": 0.25, "a tenth of a": 0.1, "a hundredth of a": 0.01, "a thousandth of a": 0.001}
WORDS.update({"½": 0.5, "¼": 0.25, "¾": 0.75})
WORD = "|".join(sorted(WORDS, key=len, reverse=True))
# Ratios in words, which a reader reads as figures whatever follows them
# ("a quarter of what PostGIS costs", "twice as fast").
RATIOS = {"twice": 2, "thrice": 3, "half as": 0.5, "a half": 0.5, "a third": 1 / 3, "a quarter": 0.25,
          "a fifth": 0.2, "a tenth": 0.1, "a hundredth": 0.01, "a thousandth": 0.001, "double": 2}
RATIO = "|".join(sorted(RATIOS, key=len, reverse=True))
FIGURE = re.compile(rf"(?<![\w.^/])({NUMERAL})(?:(?={UNIT})|(?={COUNTED})|(?={RANGE}))|"
                    rf"(?<![\w.])(\d+(?:\.\d+)?(?:[eE][+\-−–]?\d+|\s?[×x]\s?10(?:\^|<sup>)[+\-−⁻]?[\d⁰¹²³⁴⁵⁶⁷⁸⁹]+))|"
                    rf"(?<![\w])((?i:{WORD}))(?=\s(?:{LENGTH}|{ANGLE}|{TIME}|{SHARE})(?![\w])|(?<=[½¼¾])(?:{LENGTH}))|"
                    rf"(?<![\w])((?i:{RATIO}))(?=\s+(?:of|as)\b)|"
                    # a fraction (1/4), or a number written with a leading point (.01)
                    r"(?<![\w./])(\d+/\d+)(?![\w/.])|(?<![\w.\])])(\.\d+)(?![\w.])|"
                    # a ratio written with x ("3x faster")
                    r"(?<![\w.])(\d+(?:\.\d+)?)(?=x\b)")
# The tables a program writes: only these two, on docs/accuracy.md, each
# compared with what the program writes in every run (check_claims.py).
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_claims  # noqa: E402
GENERATED_PAGE = "docs/accuracy.md"
GENERATED = re.compile("|".join(f"{re.escape(start)}.*?{re.escape(end)}" for start, end in (
    (check_claims.TABLE_START, check_claims.TABLE_END), (check_claims.BAND_START, check_claims.BAND_END))), re.S)
CODE = re.compile(r"^(```|~~~).*?^\1[^\n]*$", re.S | re.M)
# Inline code is a name, a call or a command, not prose; unless it is
# nothing but a figure, which a reader reads as one.
class _InlineCode:
    """Code spans, as re.sub would find them, but for those that are a figure alone."""
    SPAN = re.compile(r"`[^`]*`")
    FIGURE_ALONE = re.compile(rf"`\s*(?:{NUMERAL})(?:{UNIT})?\s*`")

    def sub(self, replace, text):
        return self.SPAN.sub(lambda m: m.group() if self.FIGURE_ALONE.fullmatch(m.group()) else replace(m), text)


INLINE_CODE = _InlineCode()
# A link's address and a comment are not read; a link's title is.
LINK_TARGET = re.compile(r"\]\([^)\s]*|<!--.*?-->", re.S)
PRINTED = re.compile(r"<!-- Printed by make accuracy into build-bench/accuracy/([\w.-]+)\. -->\n\n?((?:\|.*\n)+)")


# Markdown a reader gets besides the docs: the changes, and the READMEs
# shipped in the packages (the wheel's, the npm package's, the crate's,
# the gem's, the Go module's).
SHIPPED = ["CHANGELOG.md", "wasm/README.md", "packaging/python/README.md", "packaging/rust/README.md",
           "packaging/ruby/README.md", "packaging/go/README.md", "packaging/sqlite-utils/README.md"]


def pages():
    return ([os.path.join(ROOT, "README.md")] + sorted(glob.glob(os.path.join(ROOT, "docs", "*.md"))) +
            [os.path.join(ROOT, p) for p in SHIPPED])


def blank(text, pattern):
    """text with each match of pattern replaced by as many spaces (newlines
    kept), so that offsets and line numbers stay those of the page."""
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group()), text)


SUPERSCRIPT = str.maketrans("⁰¹²³⁴⁵⁶⁷⁸⁹⁻", "0123456789-")


def value(numeral):
    """A page's numeral as a float, and the size of its last stated digit."""
    if numeral.lower() in WORDS:
        return float(WORDS[numeral.lower()]), 1.0
    if numeral.lower() in RATIOS:
        return float(RATIOS[numeral.lower()]), RATIOS[numeral.lower()]
    if re.fullmatch(r"\d+/\d+", numeral):
        top, bottom = numeral.split("/")
        return int(top) / int(bottom), 1 / int(bottom)
    if numeral.startswith("."):
        numeral = "0" + numeral
    text = numeral.replace("−", "-").replace("–", "-").replace("±", "").lstrip("+")
    text = re.sub(r"(?<=\d)[  ,](?=\d{3})", "", text)  # grouped digits
    text = re.sub(r"^([+\-]?)10(?:\^|<sup>)", r"\g<1>1×10^", text)  # 10^-7 is 1×10^-7
    text = re.sub(r"\s?[×x]\s?10(?:\^|<sup>)?([^<]*)(?:</sup>)?$", lambda m: "e" + m.group(1).translate(SUPERSCRIPT),
                  text).replace("E", "e").replace(" ", "")
    number = float(text)
    mantissa, _, exponent = text.partition("e")
    decimals = len(mantissa.split(".")[1]) if "." in mantissa else 0
    return number, 10.0 ** min(307, int(exponent or 0) - decimals)


@functools.lru_cache(maxsize=64)
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


def ledger():
    """The rows of figures.tsv: (page, source file, passage)."""
    rows = []
    for number, line in enumerate(open(os.path.join(LISTS_DIR, "figures.tsv"), encoding="utf-8"), 1):
        if line.startswith("#") or not line.strip():
            continue
        page, source, passage = line.rstrip("\n").split("\t")
        rows.append((number, page, source, passage))
    return rows


def claim_rows():
    """(list, line, bound, measure, doc, text) of each claim. Its words are a
    source only in the section its doc names ("PAGE § HEADING"), and only
    once there: words repeated elsewhere are a new statement, which needs a
    source of its own."""
    rows = []
    for name in CLAIM_LISTS:
        for number, line in enumerate(open(os.path.join(LISTS_DIR, name), encoding="utf-8"), 1):
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            rows.append((name, number, fields[3], fields[2], fields[7], fields[8]))
    return rows


# f·s/b in degrees per 1 000 km: project_lon's bound, as a share of which
# its claim is kept.
PER_1000_KM = 180 / math.pi * 1e6 / 298.2572235636655 / (6378137 * (1 - 1 / 298.2572235636655))


def claim_problems(claims):
    """A claim whose words state a figure must state its bound: the number
    and unit in the words, converted, equal to the bound as rounded. The
    band's claims are exempt: their words name a row of the per-latitude
    table, which is written from their bounds and compared with them."""
    problems = []
    for name, number, bound, measure, _, text in claims:
        if name == "band-claims.tsv":
            continue
        bound = float(bound) * (PER_1000_KM if "as a share of f·s/b" in measure else 1)
        # A bound kept in another unit than metres says so in its measure ("in km").
        unit = re.search(r"\bin (km|mm|nm)\b", measure)
        bound *= SCALES[unit.group(1)] if unit else 1
        stated = [(numeral, unit) for _, numeral, unit in figures(text, everything=True)]
        if stated and not any(holds(numeral, unit, {bound}, converted=True) for numeral, unit in stated):
            problems.append(f"{name} line {number}: its words ({text!r}) state no figure equal to its bound {bound}")
    return problems


def numbers_in(text):
    """Every number written in text (a source, a test, a search's output)."""
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
SCALES = {"nmi": 1852, "nm": 1e-9, "nanometres": 1e-9, "nanometers": 1e-9, "µm": 1e-6, "μm": 1e-6, "um": 1e-6,
          "micrometres": 1e-6, "mm": 1e-3, "millimetres": 1e-3, "millimetre": 1e-3, "millimeters": 1e-3,
          "millimeter": 1e-3, "cm": 1e-2, "km": 1e3, "kilometres": 1e3, "kilometers": 1e3, "ft": 0.3048,
          "feet": 0.3048, "million": 1e6,
          # sizes, which files keep in bytes (or as a shift: 8 << 20)
          "KB": 1e3, "MB": 1e6, "GB": 1e9, "KiB": 1024, "MiB": 1024 ** 2, "GiB": 1024 ** 3}
# Times, which files keep in any of s, ms, µs and ns.
TIMES = {"ns": 1e-9, "µs": 1e-6, "μs": 1e-6, "us": 1e-6, "ms": 1e-3, "s": 1, "sec": 1, "seconds": 1, "second": 1,
         "min": 60, "minutes": 60, "minute": 60, "h": 3600, "hours": 3600, "hour": 3600}


def holds(numeral, unit, numbers, outward=False, converted=False):
    """Whether some number of the file is the figure, as far as the page
    rounds it (half a unit of its last digit, or a whole one when rounded
    outward), as the page writes it or in metres (files keep lengths in
    metres)."""
    figure, last = value(numeral)
    slack = last * (1 if outward else 0.5) * (1 + 1e-9)
    if numeral.lower() in RATIOS and figure < 1 and any(abs(n) == 1 / figure for n in numbers):
        return True  # "a quarter" is /4 in code
    # converted: the numbers are in the unit's base (metres, seconds), so
    # a figure with a unit is compared only once converted.
    scales = {SCALES.get(unit, TIMES.get(unit, 1.0))} if converted else {1.0, SCALES.get(unit, 1.0)}
    if unit in TIMES:
        scales |= {TIMES[unit] / per for per in (1, 1e-3, 1e-6, 1e-9)}
    for scale in scales:
        if any(abs(abs(n) - abs(figure) * scale) <= slack * scale for n in numbers):
            return True
    return False


# Not figures: the bounds of the coordinates themselves (the equator, the
# poles, the antimeridian, west, a full turn) and the unit thresholds (1 mm, 1 m,
# 1 km) that figures are stated against.
DEFINITIONS = {0.0, 90.0, 180.0, 270.0, 360.0, math.inf}  # and 9e999, SQL's way to write infinity

# Numbers that look like figures and are not, each with its reason; a
# figure inside one of these is not counted. This is the only list.
# Programs, libraries and systems whose versions the pages name.
PRODUCTS = ("Debian|Ubuntu|Python|glibc|SQLite|sqlite3(?: gem)?|sqlite-utils|Node(?:\\.js)?|Chromium|Firefox(?: ESR)?|"
            "Safari|g\\+\\+|GCC|gcc|clang|PostgreSQL|PostGIS|PROJ|GeographicLib|Linux|Go|Rust|Ruby|Java|PHP|"
            "emscripten|musl|npm|rqlite|rqlite-js|better-sqlite3|Vite|webpack|Parcel|esbuild|Rollup|Bun|Deno|"
            "Windows|macOS|dqlite|go-dqlite|CMake|cmake|JDK|OpenJDK|Ubuntu|Vincenty|Karney|Bundler|gem|rusqlite|"
            "mattn/go-sqlite3|Xcode|TypeScript|React|Vue|Svelte|Angular|pip|wheel|manylinux|PEP|RFC|Leaflet|"
            "Natural Earth|libsqlite3-mod-geodesy|libdqlite0|libsqlite3|Raft|Rails|Next\\.js")
EXCLUSIONS = [
    (r"(?:over|exceeds?|exceeding|above|beyond|under|below|than|reach(?:es)?) 1 (?:mm|m|km)\b"
     r"(?:,? (?:1 (?:mm|m|km),? )?(?:or|and) 1 (?:m|km)\b)?",
     "the thresholds errors are counted against: levels, not measurements"),
    (r"\b1 mm, 1 m (?:or|and) 1 km\b|\b1 mm(?:, 1 m)? (?:or|and) 1 (?:m|km)\b",
     "the same thresholds, named together"),
    (r"(?<![\d.])\d{17,20}(?![\d.])", "a node's ID in an example's output, drawn at random when the node starts"),
    (r"(?i:# host|\bHost|\bpoint) \d\b", "the name of a host in an example, or of a function's point 1 or 2"),
    (r"(?m:^ {0,3}\d{1,2}\. )", "a numbered list's numbers"),
    (r"\bWGS 84\b", "the ellipsoid's name"),
    (r"\b(?:x86-64|x86_64|aarch64|arm64|mingw-w64|win64)\b", "an architecture's name"),
    (r"\(1 − f\)|\b1/298\.\d+", "the ellipsoid's formulae: 1 − f, f = 1/298.257…"),
    (rf"(?:\b(?:{PRODUCTS})(?:'s)?|\bversions?)(?:\s+before|\s+after|\s+from)?\s+\(?\d+(?:\.\d+)*\)?"
     r"(?:(?:,|\s+and|\s+to|\s+or|,?\s+and)\s+\d+(?:\.\d+)*)*(?:'s(?:\s+\w[\w-]*)?\s+\(?\d+(?:\.\d+)*\)?)?",
     "a version of a program, a library or a system: a name, not a measurement"),
    (r"\b[Ee]xit(?:s|ed)?(?: code)? \d(?:(?:,| or| and) \d)*\b|\b[Ee]xits? \d\b",
     "a program's exit code: a name"),
    (r"`[1-5]\d\d`|\((?:[1-5]\d\d(?:, )?)+\)|(?:(?<=answers\s)|(?<=answer\s)|(?<=retry\s)|(?<=treat\s)|(?<=status\s)|"
     r"(?<=says\s)|(?<=HTTP\s)|(?<=healthz`: )|(?<=readyz`: )|(?<=, )|(?<=; )|(?<=and\s))[1-5]\d\d\b(?! ?(?:\w+ )?(?:ms|MB|KB|MiB|km|m|rows|"
     r"pairs|points|lines|random|connections|clients|times|statements|requests|seconds|s)\b)",
     "an HTTP status: a name"),
    (r"\b(?:32|53|64)(?:-bit| bits)\b|\b2\^53(?: − 1)?|\bbeyond 2\^53\b", "the width of a number type"),
    (r"\b1[5-7]\s+significant\s+digits\b|\(1[5-7]\s+digits\b|\bprints\s+1[5-7]\b",
     "how many digits a printed double has"),
    (r"`?0\.10000000000000001`?|`270\.0`", "how a REAL is printed, shown by example"),
    (r"\bSQLITE_\w+`?, \d+\b", "an SQLite result code: a name"),
    (r"\b1:\d+m\b", "a map's scale (Natural Earth's 1:110m and 1:50m coastlines), not a length"),
    (r"\b(?:one|a) degree of (?:a parallel|longitude|latitude)\b", "a unit of the geometry, not a measurement"),
    (r"\b(?:1|one) (?:call|row|statement|transaction|connection|client|node|thread|point|pass) (?:at a time|each)\b",
     "a count of one in a description of how something runs"),
]
EXCLUDED = re.compile("|".join(f"(?:{pattern})" for pattern, _ in EXCLUSIONS))


# Columns whose cells are names, not measurements (an exit code, an HTTP
# status): by the column's heading.
NAMING_COLUMNS = re.compile(r"exit|exit code|code|(?:HTTP )?status(?: [\w ]+)?", re.I)


def naming_cells(text):
    """Spans of the cells of columns NAMING_COLUMNS names."""
    header = []
    for row in re.finditer(r"^\|.*\|[ \t]*$", text, re.M):
        previous = text.rfind("\n", 0, max(0, row.start() - 1))
        if not text[previous + 1:row.start()].startswith("|"):
            header = [cell.strip() for cell in row.group().strip().strip("|").split("|")]
            continue
        for column, cell in enumerate(re.finditer(r"(?<=\|)[^|]*(?=\|)", row.group())):
            if column < len(header) and NAMING_COLUMNS.fullmatch(header[column]):
                yield row.start() + cell.start(), row.start() + cell.end()


# Any other number: a reader reads every number as a figure, whatever
# follows it; but one that is part of a word, a path, an address, a date
# or a formula ("lat1", "127.0.0.1", "2026-06-01", "10^p").
BARE = re.compile(r"(?<![\w.:/@$#^-])([−\-+±]?\d{1,3}(?:[  ,]\d{3})+(?:\.\d+)?(?![\d.])|"
                  r"[−\-+±]?\d+(?:\.\d+)?(?:[eE][+\-−]?\d+)?)(?![\w:/^]|\.\d|-\d|,\d)")


def figures(text, everything=False, raw=None):
    """(offset, numeral, unit) of each figure in text; with everything,
    those the exclusions leave out too."""
    # Exclusions are matched on the page as written (raw: inline code and
    # all), where a name such as `SQLITE_CONSTRAINT_UNIQUE` shows what a
    # number is.
    excluded = [] if everything else [m.span() for m in EXCLUDED.finditer(text if raw is None else raw)]
    excluded += list(naming_cells(text))
    seen = set()
    for m in list(FIGURE.finditer(text)) + list(BARE.finditer(text)):
        group = next(g for g in range(1, (m.re.groups or 0) + 1) if m.group(g))
        if m.start(group) in seen:
            continue
        seen.add(m.start(group))
        numeral = m.group(group)
        if abs(value(numeral)[0]) in DEFINITIONS or any(s <= m.start(group) < e for s, e in excluded):
            continue
        unit = re.match(rf"(?:\s?|-)({'|'.join(list(SCALES) + list(TIMES))})(?!\w)", text[m.end(group):])
        yield m.start(group), numeral, unit.group(1) if unit else ""


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


BY_HAND = []  # the passages observed by hand, listed in the report


def anchored(path, anchors, texts):
    """The numbers of the lines of path that each anchor names, and what is
    wrong with the anchors. An anchor is words of the file, matched with
    runs of blanks as one and across line breaks, that occur once; the
    numbers are those of the line or lines they are on. In a TSV file an
    anchor may instead be the whole of one row's field (a figure's name
    that starts another's)."""
    if path not in texts:
        texts[path] = open(path, encoding="utf-8", errors="replace").read()
    text = texts[path]
    numbers, problems = {}, []
    for anchor in anchors:
        found = spans(text, anchor)
        if len(found) != 1 and path.endswith(".tsv"):
            words = " ".join(anchor.split())
            rows = [m for m in re.finditer(r"^.*$", text, re.M)
                    if words in (" ".join(field.split()) for field in m.group().split("\t"))]
            found = [rows[0].span()] if len(rows) == 1 else found
        if len(found) != 1:
            problems.append(f"'{anchor}' is in the file {len(found)} times, not once")
            continue
        start = text.rfind("\n", 0, found[0][0]) + 1
        end = text.find("\n", found[0][1])
        numbers[anchor] = numbers_in(text[start:end if end >= 0 else len(text)])
    return numbers, problems


def listed_problems(name, number, passage, source, shown, outputs, texts):
    """What is wrong with one listed passage, given its source and the
    figures it shows, as (offset, numeral, unit)."""
    if source == "said tried by hand":  # no script measures it, and the page says so, and when
        if re.search(r"tried by hand on \d{4}-\d{2}-\d{2}", passage):
            BY_HAND.append(f"{name}: {passage}")
            return []
        return [f"{name}: figures.tsv line {number}: '{passage}': listed as tried by hand, but does not say "
                "so and on which date (\"tried by hand on YYYY-MM-DD\")"]
    if source.startswith("= "):
        # Derived from other figures: the arithmetic, written out. The list
        # is this project's own file, read as its code is.
        result = eval(source[2:], {"__builtins__": {}}, {"pi": math.pi})
        derived = set(result) if isinstance(result, tuple) else {result}
        return [f"{name}: figures.tsv line {number}: '{passage}': {numeral} is not {source[2:]}"
                for _, numeral, unit in shown if not holds(numeral, unit, derived, outward=True)]
    source, outward = re.subn(r", rounded outward$", "", source)
    path, *anchors = source.split(" @ ")
    file = os.path.join(outputs, os.path.basename(path)) if path.startswith("build-bench/accuracy/") else \
        os.path.join(ROOT, path)
    if not os.path.exists(file):
        return [f"{name}: figures.tsv line {number}: '{passage}': no file {path}"]
    if not anchors:
        return [f"{name}: figures.tsv line {number}: '{passage}': names no line of {path}; write "
                f"\"{path} @ WORDS\" with words of the line that holds its figures (\" @ \" between several)"]
    numbers, problems = anchored(file, anchors, texts)
    problems = [f"{name}: figures.tsv line {number}: '{passage}': {path}: {problem}" for problem in problems]
    if problems:
        return problems
    everything = set().union(*numbers.values())
    problems += [f"{name}: figures.tsv line {number}: '{passage}': the named lines of {path} have no number {numeral}"
                 for _, numeral, unit in shown if not holds(numeral, unit, everything, outward)]
    problems += [f"{name}: figures.tsv line {number}: '{passage}': the line of {path} at '{anchor}' "
                 "holds none of its figures"
                 for anchor, held in numbers.items()
                 if not any(holds(numeral, unit, held, outward) for _, numeral, unit in shown)]
    return problems


SQL_BLOCK = re.compile(r"^```sql\n(.*?)^```", re.S | re.M)
RESULT = re.compile(r"\s*(-?(?:\d[\d.]*(?:e[+-]?\d+)?|Inf))")


def sql_comment_words(text):
    """Spans of what the comments of SQL blocks say after the results that
    tests/docs_examples.py runs ("-- 81.05 (1000 km from the pole)"): prose."""
    for block in SQL_BLOCK.finditer(text):
        for line in re.finditer(r"^.*$", block.group(1), re.M):
            at = line.group().find("--")
            if at < 0:
                continue
            offset = block.start(1) + line.start() + at + 2
            for part in line.group()[at + 2:].split("|"):
                result = RESULT.match(part)
                start = offset + (result.end() if result else 0)
                yield start, offset + len(part)
                offset += len(part) + 1


# Fenced blocks whose every line is a result a reader reads: a program's
# output. A console block's lines after "$ " are commands, the rest output.
OUTPUT_LANGUAGES = ("text", "json", "console")
# Languages whose blocks are code, read only in their comments. A block in
# any other language is read whole, as output: the check cannot tell what
# in it is code.
CODE_LANGUAGES = ("sh", "bash", "c", "cpp", "go", "java", "js", "mjs", "ts", "python", "ruby", "rust", "php",
                  "ini", "yaml", "toml", "html", "css", "cmake", "make")
FENCE = re.compile(r"^(```|~~~)([^\n]*)\n(.*?)^\1[ \t]*$", re.S | re.M)
# A comment in a code block other than SQL, where an example states what
# a line gives ("# (111319.49079327343,)", "// { m: 111319.49079327343 }").
CODE_COMMENT = re.compile(r"(?:^|(?<=\s))(?:#|//)(?=\s|$).*$", re.M)
# A number in a program's output or a comment: any number, but one that is
# part of an address, a version, a name or a path.
CODE_NUMBER = re.compile(r"(?<![\w.:/@$#-])[−\-+]?\d+(?:\.\d+)?(?:[eE][+\-]?\d+)?(?![\w.:/-]|\.\d)")


def code_results(text):
    """Spans of what code blocks show as results (every line of an output
    block, the output lines of a console block, the comments of other
    blocks but SQL's, whose results tests/docs_examples.py runs), and the
    lines of fences that name no language, which the reader cannot tell
    from output."""
    spans_, unnamed = [], []
    for block in FENCE.finditer(text):
        language = block.group(2).strip().split(" ")[0]
        body = block.start(3)
        if not language:
            unnamed.append(text.count("\n", 0, block.start()) + 1)
        if language == "sql":
            continue
        if language not in CODE_LANGUAGES:
            for line in re.finditer(r"^.*$", block.group(3), re.M):
                if not (language == "console" and line.group().startswith("$ ")):
                    spans_.append((body + line.start(), body + line.end()))
        else:
            spans_ += [(body + m.start(), body + m.end()) for m in CODE_COMMENT.finditer(block.group(3))]
    return spans_, unnamed


def code_figures(prose, spans_, raw):
    """(offset, numeral, unit) of every number in the spans of code results
    that is not excluded: in output, a bare number is a figure too."""
    excluded = [m.span() for m in EXCLUDED.finditer(raw)]
    for start, end in spans_:
        for m in CODE_NUMBER.finditer(prose, start, end):
            if abs(value(m.group())[0]) in DEFINITIONS or any(s <= m.start() < e for s, e in excluded):
                continue
            unit = re.match(rf"(?:\s?|-)({'|'.join(list(SCALES) + list(TIMES))})(?!\w)", prose[m.end():])
            yield m.start(), m.group(), unit.group(1) if unit else ""


def compared_elsewhere(name, text):
    """Spans of the output blocks that a test runs and compares, each rule
    with its reason."""
    if name == "docs/cluster-http.md":
        # The JSON after a curl block is what tests/cluster/http_test.py
        # gets from running that curl against a cluster (make cluster-test).
        return [m.span(1) for m in re.finditer(r"^```sh\n\s*curl .*?^```\n\n```json\n(.*?)^```", text,
                                               re.S | re.M)]
    if name == "docs/browser.md":
        # The first text block after the first js block is what that js
        # prints, as tests/packages/check_wasm_package.sh runs it against
        # the npm package (make wasm-test).
        js = re.search(r"^```js\n", text, re.M)
        printed = re.compile(r"^```text\n(.*?)^```", re.S | re.M).search(text, js.end()) if js else None
        return [printed.span(1)] if printed else []
    return []


def restore(prose, text, spans):
    """prose with text put back in the given spans."""
    for start, end in spans:
        prose = prose[:start] + text[start:end] + prose[end:]
    return prose


def tables_match(text):
    """Whether the page shows, between each pair of markers, the table
    check_claims.py writes there."""
    for start_mark, end_mark, make in ((check_claims.TABLE_START, check_claims.TABLE_END, check_claims.table),
                                       (check_claims.BAND_START, check_claims.BAND_END, check_claims.band_table)):
        start, end = text.find(start_mark), text.find(end_mark)
        if start < 0 or end < 0 or text[start:end + len(end_mark)] != make():
            return False
    return True


def check(page_paths, outputs):
    """The problems of the pages, and how many figures they state."""
    problems, counted = [], 0
    claims = claim_rows()
    problems += claim_problems(claims)
    rows = ledger()
    texts = {}
    for path in page_paths:
        name, _, path = path.rpartition("=") if "=" in path else (os.path.relpath(path, ROOT), "", path)
        text = open(path, encoding="utf-8").read()
        generated = GENERATED if name == GENERATED_PAGE else re.compile(r"(?!)")
        if name == GENERATED_PAGE and not tables_match(text):
            problems.append(f"{name}: its tables of figures are not the ones accuracy/claims.tsv and "
                            "band-claims.tsv give; run accuracy/check_claims.py --write-table")
        results, unnamed = code_results(text)
        problems += [f"{name}:{line}: the code block names no language (text for a program's output, sh for "
                     "commands, ...)" for line in unnamed]
        prose = restore(blank(blank(blank(blank(text, generated), CODE), INLINE_CODE), LINK_TARGET), text,
                        list(sql_comment_words(text)) + results)
        on_page = list(figures(prose, raw=text))
        seen = {offset for offset, _, _ in on_page}
        on_page = sorted(on_page + [f for f in code_figures(prose, results, text) if f[0] not in seen])
        held = []
        for list_name, number, _, _, doc, claim in claims:
            page, heading = check_claims.place(doc)
            if page != name:
                continue
            inside = check_claims.own_section(text, heading)
            if inside is None:
                problems.append(f"{name}: {list_name} line {number}: " + (
                    f"the page has no heading '{heading}'" if heading else
                    "its doc names no section (\"PAGE § HEADING\"), which its words must be in"))
                continue
            found = [(s, e) for s, e in spans(text, claim) if inside[0] <= s and e <= inside[1]]
            if not found:
                problems.append(f"{name}: {list_name} line {number}: the section '{heading}' no longer says "
                                f"'{claim}'")
            if len(found) > 1 and list(figures(claim)):
                problems.append(f"{name}: {list_name} line {number}: its words are on the page {len(found)} times; "
                                "a claim is the source of one statement")
            held += found[:1]
        held += [m.span(2) for m in INLINE.finditer(text)] + compared_elsewhere(name, text)
        tables, wrong = printed(name, text, outputs)
        covered, problems = held + tables, problems + wrong
        mine = [row for row in rows if row[1] == name]
        measured = []
        listed = [span for _, _, source, passage in mine if not source.startswith("section: ")
                  for span in where(text, passage)]
        for number, _, source, passage in mine:
            if source.startswith("section: "):
                found = check_claims.own_section(text, passage)
                command = re.sub(r" \([\w, ]+\)$", "", source[len("section: "):])
                if found is None:
                    problems.append(f"{name}: figures.tsv line {number}: the page has no heading '{passage}'")
                elif command not in " ".join(text[found[0]:found[1]].split()):
                    problems.append(f"{name}: '{passage}': the section does not name {command}, "
                                    "which measures its figures")
                kinds = re.search(r" \(([\w, ]+)\)$", source)
                named = set((kinds.group(1) if kinds else "times, counts").split(", "))
                if named - {"times", "counts", "lengths", "angles", "shares"}:
                    problems.append(f"figures.tsv line {number}: figure kinds are times, counts, lengths, angles "
                                    f"and shares, not {', '.join(sorted(named))}")
                measured += [(found[0], found[1], named)] if found else []
                continue
            found = where(text, passage)
            if not found:
                problems.append(f"{name}: figures.tsv line {number}: the page no longer says '{passage}'")
                continue
            covered += found
            inner = [(s, e) for s, e in listed if found[0][0] <= s and e <= found[0][1] and (s, e) != found[0]]
            shown = [(o, n, u) for o, n, u in on_page if found[0][0] <= o < found[0][1]
                     and not any(s <= o < e for s, e in held + inner)]
            problems += listed_problems(name, number, passage, source, shown, outputs, texts)
        for offset, numeral, _ in on_page:
            counted += 1
            # A section of measurements holds only the kinds of figure its
            # row names (times and counts unless it says more).
            what = kind(prose, offset + len(numeral))
            if not any(start <= offset < end for start, end in covered) and \
                    not any(start <= offset < end and what in named for start, end, named in measured):
                line = text.count("\n", 0, offset) + 1
                # In a code block, the line is the context a reader sees.
                context = " ".join(text[text.rfind("\n", 0, offset) + 1:text.find("\n", offset)].split()) \
                    if any(start <= offset < end for start, end in results) else sentence(text, offset)
                problems.append(f"{name}:{line}: {numeral} has no source, in: {context}")
    problems += [f"figures.tsv line {number}: no page {page}" for number, page, _, _ in rows
                 if not os.path.exists(os.path.join(ROOT, page))]
    problems += [f"figures.tsv line {number}: {page} cannot be its own source" for number, page, source, _ in rows
                 if source.split(",")[0] == page]

    return problems, counted


def stale_expectations(outputs):
    """The committed outputs that differ from a fresh run's at the default
    budget: make test checks the pages against them, so they must be what
    make accuracy prints, not edited copies."""
    return [f"{os.path.relpath(EXPECTED, ROOT)}/{name} is not what this run printed into "
            f"{os.path.join(outputs, name)}: copy this run's if the change is meant"
            for name in sorted(os.listdir(EXPECTED))
            if not os.path.exists(os.path.join(outputs, name)) or
            open(os.path.join(outputs, name), encoding="utf-8").read() !=
            open(os.path.join(EXPECTED, name), encoding="utf-8").read()]


def main():
    args = sys.argv[1:]
    outputs = args.pop(0) if args and os.path.isdir(args[0]) else EXPECTED
    budget = os.environ.get("ACCURACY_BUDGET", "1")
    if outputs != EXPECTED and budget != "1":
        # The pages print what the default budget finds; a finer search
        # finds other worst points and counts, which check_claims.py holds
        # to the bounds, so the pages are checked against the outputs the
        # default budget printed, as committed.
        print(f"ACCURACY_BUDGET={budget}: the pages' printed figures come from the budget of 1; "
              f"checking them against {os.path.relpath(EXPECTED, ROOT)}")
        outputs = EXPECTED
    page_paths = [p if "=" in p else os.path.abspath(p) for p in args] or pages()
    problems, counted = check(page_paths, outputs)
    if outputs != EXPECTED:
        problems += stale_expectations(outputs)
    for problem in problems:
        print(f"FAIL: {problem}")
    for passage in BY_HAND:
        print(f"tried by hand, not measured by any script: {passage}")
    print(f"figures: {counted} on {len(page_paths)} pages, {len(problems)} problems"
          + ("" if outputs != EXPECTED else f" (search outputs: the committed {os.path.relpath(EXPECTED, ROOT)})"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
