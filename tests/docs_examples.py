#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that the SQL examples in the docs print what the docs say.

Usage: docs_examples.py SQLITE3_SHELL MODULE FILE.md...

In every ```sql block, each statement whose lines carry results in their
trailing comments ("SELECT distance(0, 0, 0, 1);   -- 111319.490793273 (...)")
is run in the sqlite3 shell with the module loaded, and the numbers the
shell prints must be those of the comments, in order (columns separated by
'|' in the comment, as the shell separates them)."""
import re
import subprocess
import sys

NUMBER = re.compile(r"\s*(-?(?:\d[\d.]*(?:e[+-]?\d+)?|Inf))")


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


def main():
    shell, module, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    passed = failed = 0
    for path in files:
        for line, sql, expected in statements(path):
            run = subprocess.run([shell, "-batch", ":memory:", "-cmd", f".load '{module}'", sql],
                                 capture_output=True, text=True)
            printed = run.stdout.strip().split("|")
            if run.returncode == 0 and printed == expected:
                passed += 1
            else:
                failed += 1
                print(f"{path}:{line}: {sql}\n  docs say {expected}, shell printed {printed} {run.stderr.strip()}")
    print(f"docs examples: {passed} passed, {failed} failed")
    sys.exit(1 if failed or not passed else 0)


if __name__ == "__main__":
    main()
