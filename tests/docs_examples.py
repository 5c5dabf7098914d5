#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that the SQL examples in the docs print what the docs say.

Usage: docs_examples.py SQLITE3_SHELL MODULE FILE.md...

In every ```sql block, each statement whose lines carry results in their
trailing comments ("SELECT distance(0, 0, 0, 1);   -- 111319.490793273 (...)")
is run in the sqlite3 shell with the module loaded, and the numbers the
shell prints must be those of the comments, in order (columns separated by
'|' in the comment, as the shell separates them). In the prose, each call
written as "`distance(0, 0, 0, 1)` is 111319.490793273" (or "... and
`...` are ...") is run too, and must print that number to the digits the
prose gives."""
import re
import subprocess
import sys

NUMBER = re.compile(r"\s*(-?(?:\d[\d.]*(?:e[+-]?\d+)?|Inf))")
FUNCTION_CALL = r"`(?:distance|azimut_start|azimut_end|project_lat|project_lon)\([^`]*\)`"
# A result stated in prose; a number with a unit after it ("is 4.7 m
# off") is an error against another library, not a result.
INLINE = re.compile(rf"({FUNCTION_CALL}(?:,?\s+and\s+{FUNCTION_CALL})?)\s+(?:is|are)\s+"
                    r"([−-]?\d+(?:\.\d+)?(?:e[+−-]?\d+)?)(?!\.?\d| ?(?:nm|µm|mm|m|km|″|°)\b)")


def digits(stated):
    """The significant digits a number in the prose gives."""
    return len(re.sub(r"e.*|[-.]", "", stated).lstrip("0")) or 1


def inline(path):
    """Yields (line number, SQL, expected number) for each result stated in
    the prose, outside code blocks."""
    text = re.sub(r"^```.*?^```", lambda m: re.sub(r"[^\n]", " ", m.group()),
                  open(path, encoding="utf-8").read(), flags=re.S | re.M)
    for match in INLINE.finditer(text):
        line, stated = text.count("\n", 0, match.start()) + 1, match.group(2).replace("−", "-")
        for call in re.findall(r"`([^`]*)`", match.group(1)):
            if float(stated) == 0:  # the shell prints −0.0 as 0.0; atan2(0, −0.0) is π
                yield line, f"SELECT atan2(0, {call}) > 3;", "1" if stated.startswith("-") else "0"
            elif digits(stated) > 15:  # beyond what the shell prints
                yield line, f"SELECT printf('%!.17g', {call});", stated
            else:
                yield line, f"SELECT {call};", stated


def same(printed, stated):
    """Whether the shell's number is the prose's, to the prose's digits."""
    try:
        return printed.startswith("-") == stated.startswith("-") and \
            float(f"{float(printed):.{digits(stated)}g}") == float(stated)
    except ValueError:
        return False


def statements(path):
    """Yields (line number, SQL, expected numbers) for each checkable statement."""
    in_sql = False
    sql, expected, start = [], [], 0
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.startswith("```"):
                in_sql = line.strip() == "```sql"
                sql, expected = [], []
                continue
            if not in_sql or line.startswith(".") or not line.strip():
                continue
            code, _, comment = line.partition("--")
            if not sql:
                start = number
            sql.append(code.rstrip())
            for part in comment.split("|") if comment else []:
                match = NUMBER.match(part)
                if match:
                    expected.append(match.group(1))
            if code.rstrip().endswith(";"):
                if expected:
                    yield start, " ".join(sql), expected
                sql, expected = [], []


def run(shell, module, sql):
    """What the sqlite3 shell prints for sql, with the module loaded."""
    return subprocess.run([shell, "-batch", ":memory:", "-cmd", f".load '{module}'", sql],
                          capture_output=True, text=True)


def main():
    shell, module, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    passed = failed = 0
    for path in files:
        for line, sql, expected in statements(path):
            done = run(shell, module, sql)
            printed = done.stdout.strip().split("|")
            if done.returncode == 0 and printed == expected:
                passed += 1
            else:
                failed += 1
                print(f"{path}:{line}: {sql}\n  docs say {expected}, shell printed {printed} {done.stderr.strip()}")
        for line, sql, stated in inline(path):
            done = run(shell, module, sql)
            if done.returncode == 0 and same(done.stdout.strip(), stated):
                passed += 1
            else:
                failed += 1
                print(f"{path}:{line}: {sql}\n  docs say {stated}, shell printed {done.stdout.strip()} "
                      f"{done.stderr.strip()}")
    print(f"docs examples: {passed} passed, {failed} failed")
    sys.exit(1 if failed or not passed else 0)


if __name__ == "__main__":
    main()
