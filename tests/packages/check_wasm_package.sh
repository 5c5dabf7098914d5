#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the sqlite-geodesy-wasm tarball into an empty project, as
# docs/browser.md says, runs its Node example there and compares what it
# prints with what the page says it prints, then checks the API through
# the ES module entry (wasm_api_check.mjs) and that the types are there.
#
#   tests/packages/check_wasm_package.sh sqlite-geodesy-wasm-VERSION.tgz
set -euo pipefail
tarball=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-wasm-package: $(basename "$tarball"): $1" >&2; exit 1; }

cd "$work"
npm init -y >/dev/null
npm install --no-audit --no-fund --loglevel=error "$tarball" || fail "npm install failed"
[ -f node_modules/sqlite-geodesy-wasm/index.d.ts ] || fail "no TypeScript declarations"

# The page's first js block, and the text block after it.
/usr/bin/python3 - "$root/docs/browser.md" <<'PY'
import re, sys
section = open(sys.argv[1], encoding="utf-8").read()
blocks = re.findall(r"^```(\w+)\n(.*?)^```$", section, re.S | re.M)
code = next(i for i, (lang, _) in enumerate(blocks) if lang == "js")
printed = next(i for i, (lang, _) in enumerate(blocks) if lang == "text" and i > code)
open("example.js", "w").write(blocks[code][1])
open("expected.txt", "w").write(blocks[printed][1])
PY
node example.js > printed.txt || fail "the Node example of docs/browser.md failed"
diff -u expected.txt printed.txt || fail "the Node example of docs/browser.md printed the above, not what the page says"
echo "ok: the Node example of docs/browser.md prints what the page says"

cp "$root/tests/packages/wasm_api_check.mjs" .
node wasm_api_check.mjs || fail "the API checks above failed"
