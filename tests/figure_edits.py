#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Edits a careless or hostile editor might make to the pages and the
ledger, each of which accuracy/check_figures.py must name:

    /usr/bin/python3 tests/figure_edits.py        (make test)

Each row below changes a line or two of copies of the pages, claims.tsv
or figures.tsv; the check runs on the copies and must report a problem
on an edited file. The unedited copies must pass. An edit a reviewer
finds that slips past becomes a row here."""
import os
import shutil
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
sys.path.insert(0, os.path.join(ROOT, "accuracy"))
import check_claims  # noqa: E402
import check_figures  # noqa: E402

LISTS = ("claims.tsv", "band-claims.tsv", "figures.tsv")

# (what the editor did, [(file, old text, new text), ...]); "+" as the old
# text appends the new one to the file.
EDITS = [
    ("changed a claim's words and its text in claims.tsv together, leaving the bound",
     [("docs/accuracy.md", "the distance is within 0.08 mm", "the distance is within 0.01 mm"),
      ("accuracy/claims.tsv", "the distance is within 0.08 mm", "the distance is within 0.01 mm")]),
    ("repeated a claim's words where they claim more",
     [("README.md", "+", "\nFor longitudes beyond ±180° as well, distances are within 0.08 mm wherever\n"
                         "the longitude difference is at most 179.2°.\n")]),
    ("used a claim's words on a page that is not the claim's",
     [("docs/install.md", "+", "\nThe distance is within 0.08 mm.\n")]),
    ("moved a claim's words to another section of its page, where they claim more",
     [("README.md", "±180°, distances are within 0.08 mm wherever", "±180°, distances are close wherever"),
      ("README.md", "## Layout\n", "## Layout\n\nFor every file here, distances are within 0.08 mm wherever the\n"
                                  "longitude difference is at most 179.2°.\n")]),
    ("stated a bound of 1", [("README.md", "distances are within 0.08 mm wherever", "distances are within 1 nm wherever")]),
    ("stated 1″ at the poles", [("docs/functions.md", "+", "\nAzimuths are within 1″ even at the poles.\n")]),
    ("wrote millimetres", [("docs/recipes.md", "+", "\nEvery radius is right to 0.01 millimetres.\n")]),
    ("wrote a hyphenated unit", [("docs/recipes.md", "+", "\nA 3-mm error is the most you will see.\n")]),
    ("wrote arcsec", [("docs/accuracy.md", "+", "\nAzimuths are within 0.00005 arcsec everywhere.\n")]),
    ("wrote '' for seconds of arc", [("docs/accuracy.md", "+", "\nAzimuths are within 0.00005'' everywhere.\n")]),
    ("wrote ” for seconds of arc", [("docs/accuracy.md", "+", "\nAzimuths are within 0.00005” everywhere.\n")]),
    ("wrote ′ for minutes of arc", [("docs/accuracy.md", "+", "\nAzimuths are within 0.01′ everywhere.\n")]),
    ("wrote º for degrees where another edge belongs",
     [("README.md", "at least 179.24° and a", "at least 179.64º and a")]),
    ("wrote deg", [("docs/functions.md", "+", "\nThe band starts at 179.5 deg.\n")]),
    ("wrote a Greek mu", [("docs/accuracy.md", "+", "\nPoints reached are within 80 μm.\n")]),
    ("wrote nautical miles", [("docs/accuracy.md", "+", "\nThe worst error is 0.05 nmi.\n")]),
    ("wrote feet", [("docs/accuracy.md", "+", "\nThe worst error is 0.3 ft.\n")]),
    ("wrote per cent", [("docs/install.md", "+", "\nThe extension is 40 per cent faster than anything.\n")]),
    ("sped up the solver", [("README.md", "0.55 µs a call", "0.05 µs a call")]),
    ("shortened the failover", [("README.md", "fail over in about 1.4 s", "fail over in about 0.1 s")]),
    ("hid a figure between hand-made markers",
     [("docs/accuracy.md", "+", "\n<!-- The table below is written by hand. -->\n\nThe error never exceeds 3 mm.\n\n"
                               "<!-- End of the table. -->\n")]),
    ("changed a row of a written table", [("docs/accuracy.md", "| 179.29° |", "| 179.19° |")]),
    ("changed a row of a printed table", [("docs/accuracy.md", "| 0.00018″ |", "| 0.00008″ |")]),
    ("put a figure in a link's title",
     [("README.md", "([accuracy](docs/accuracy.md))", '([accuracy](docs/accuracy.md "within 0.01 mm"))')]),
    ("put a figure alone in inline code", [("docs/functions.md", "+", "\nThe error is at most `0.01 mm`.\n")]),
    ("used a superscript exponent", [("docs/accuracy.md", "+", "\nThe error is below 10<sup>-7</sup> m.\n")]),
    ("used ×10^", [("docs/accuracy.md", "+", "\nThe error is below 3×10^-9 m.\n")]),
    ("used a capital E", [("docs/accuracy.md", "+", "\nThe error is below 8E-1 m.\n")]),
    ("grouped digits with commas", [("docs/functions.md", "+", "\nIt holds up to 20,000,000 km.\n")]),
    ("gave a range whose first end is new", [("docs/accuracy.md", "+", "\nDistances are within 0.01–0.08 mm.\n")]),
    ("wrote a number in words", [("docs/accuracy.md", "+", "\nPoints reached are within ten nanometres.\n")]),
    ("wrote a fraction in words", [("docs/install.md", "+", "\nLoading takes half a second.\n")]),
    ("put a bare number in a table's cell",
     [("docs/install.md", "+", "\n| pairs | worst error |\n|---|---:|\n| all of them | 0.002 |\n")]),
    ("added a figure after a SQL result in its comment",
     [("docs/functions.md", "-- 81.0462328159543 (1000 km from the pole)",
       "-- 81.0462328159543 (1000 km from the pole, within 0.01 mm)")]),
    ("wrote a time figure", [("docs/cluster.md", "+", "\nA node fails over in 0.2 s.\n")]),
    ("wrote a stale figure in the CHANGELOG",
     [("CHANGELOG.md", "at most 20 nm sideways on every line up to 1 km", "at most 10 nm sideways on every line up to 1 km")]),
    ("wrote a figure in a package's README", [("wasm/README.md", "+", "\nDistances are within 0.001 mm.\n")]),
    ("stated a number the source file has, but not on the line the ledger names",
     [("README.md", "then stop after 40 passes", "then stop after 20 passes")]),
    ("dropped the line a ledger row names, leaving the whole file",
     [("accuracy/figures.tsv", "README.md\tgeodesy/inverse_impl.h @ passes; 40 bounds\t",
       "README.md\tgeodesy/inverse_impl.h\t")]),
    ("named a line that holds none of the passage's figures beside one that does",
     [("accuracy/figures.tsv", "README.md\tgeodesy/inverse_impl.h @ passes; 40 bounds\t",
       "README.md\tgeodesy/inverse_impl.h @ passes; 40 bounds @ #include <cmath>\t")]),
    ("named a line by words the file has more than once",
     [("accuracy/figures.tsv", "README.md\tgeodesy/inverse_impl.h @ passes; 40 bounds\t",
       "README.md\tgeodesy/inverse_impl.h @ passes\t")]),
    ("changed a number in the demo's output", [("README.md", "5554.909   287.98", "5554.919   287.98")]),
    ("changed a result in a Python comment",
     [("docs/install.md", "# (111319.49079327343,)", "# (111319.49079327344,)")]),
    ("changed a recipe's printed output", [("docs/recipes.md", "Zurich    243.0", "Zurich    234.0")]),
    ("took an output block's language away", [("README.md", "```text\nfrom", "```\nfrom")]),
    ("added an output block no test prints",
     [("docs/install.md", "+", "\n```json\n{\"m\": 111319.5, \"error_mm\": 0.01}\n```\n")]),
    ("put a figure in bold, its unit outside", [("docs/accuracy.md", "+", "\nDistances are within **0.01** mm.\n")]),
    ("put a figure in HTML", [("docs/accuracy.md", "+", "\n<table><tr><td>0.01</td><td>mm</td></tr></table>\n")]),
    ("wrote ½ for a half", [("docs/accuracy.md", "+", "\nDistances are within ½ mm.\n")]),
    ("wrote an exponent with an en dash", [("docs/accuracy.md", "+", "\nDistances are within 1e–7 m.\n")]),
    ("wrote a number with a leading point", [("docs/accuracy.md", "+", "\nDistances are within .01 mm.\n")]),
    ("wrote a fraction", [("docs/install.md", "+", "\nIt costs 1/4 of what PostGIS costs.\n")]),
    ("wrote a ratio with x", [("docs/install.md", "+", "\nIt is 3x faster than PostGIS.\n")]),
    ("wrote a ratio in words", [("README.md", "about a quarter of what PostGIS", "about a tenth of what PostGIS")]),
    ("wrote a number with no unit at all", [("docs/accuracy.md", "+", "\nThe worst error found is 0.09.\n")]),
    ("wrote ulps", [("docs/accuracy.md", "+", "\nResults are within 2 ulp of the reference.\n")]),
    ("wrote a count of digits", [("docs/accuracy.md", "+", "\nResults agree with GeographicLib to 15 digits.\n")]),
    ("wrote a size", [("docs/cluster.md", "+", "\nA node needs 2 GB of memory.\n")]),
    ("wrote a rate", [("docs/cluster.md", "+", "\nIt takes 900 writes per second.\n")]),
    ("wrote a limit that looks like an HTTP status", [("docs/cluster.md", "+", "\nA request holds up to 500 statements.\n")]),
    ("put a figure in a block of a language the check does not know",
     [("docs/accuracy.md", "+", "\n```mermaid\nA -->|0.01 mm| B\n```\n")]),
    ("made a page its own source",
     [("docs/functions.md", "+", "\nThe error is 0.04 mm.\n"),
      ("accuracy/figures.tsv", "+", "docs/functions.md\tdocs/functions.md\tThe error is 0.04 mm\n")]),
    ("let a speed section hold an accuracy figure",
     [("docs/benchmarks.md", "+", "\nThis library's distances are within 0.0008 mm.\n")]),
    ("called a figure tried by hand without a date",
     [("docs/cluster.md", "+", "\nThe node restarts in 0.3 s (tried by hand).\n"),
      ("accuracy/figures.tsv", "+", "docs/cluster.md\tsaid tried by hand\tThe node restarts in 0.3 s (tried by hand)\n")]),
    ("named kinds a section row cannot have",
     [("accuracy/figures.tsv", "docs/benchmarks.md\tsection: make bench (times, counts, shares)\tBenchmarks",
       "docs/benchmarks.md\tsection: make bench (times, counts, shares, anything)\tBenchmarks")]),
]


def run(edits, work):
    """The check's problems on copies of the pages and lists with edits applied."""
    for name in LISTS:
        shutil.copy(os.path.join(ROOT, "accuracy", name), os.path.join(work, "accuracy", name))
    pages = {os.path.relpath(p, ROOT): p for p in check_figures.pages()}
    for path, old, new in edits:
        target = os.path.join(work, path)
        if not path.startswith("accuracy/"):
            target = os.path.join(work, path.replace("/", "_"))
            shutil.copy(os.path.join(ROOT, path), target)
            pages[path] = target
        text = open(target, encoding="utf-8").read()
        if old != "+" and old not in text:
            raise RuntimeError(f"{path} no longer says {old!r}: update this edit")
        text = text + new if old == "+" else text.replace(old, new, 1)
        open(target, "w", encoding="utf-8").write(text)
    check_figures.LISTS_DIR = os.path.join(work, "accuracy")
    check_claims.ROOT = work
    check_figures.BY_HAND.clear()
    problems, _ = check_figures.check([f"{name}={path}" for name, path in pages.items()], check_figures.EXPECTED)
    return problems


def main():
    work = tempfile.mkdtemp(prefix="geodesy-figure-edits-")
    os.makedirs(os.path.join(work, "accuracy"))
    failed = 0
    try:
        clean = run([], work)
        print(("ok" if not clean else "FAIL") + ": the unedited pages pass" + ("" if not clean else f" ({clean[:3]})"))
        failed += bool(clean)
        for what, edits in EDITS:
            problems = run(edits, work)
            files = {path for path, _, _ in edits}
            named = [p for p in problems if any(os.path.basename(f) in p or f in p for f in files)]
            print(f"{'ok' if named else 'FAIL'}: named: {what}" + (f" ({named[0][:150]})" if named else ""))
            failed += not named
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"figure edits: {len(EDITS) + 1 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
