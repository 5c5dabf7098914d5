#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The package's declarations as TypeScript users meet them: the tarball
# installed into fresh projects, each compiled with tsc --strict, for
# CommonJS (node16), ES modules (node16) and bundlers (moduleResolution
# bundler), and the worker API under the old resolution (node10). The consumers' @ts-expect-error lines fail the check if the
# types are lost to any.
#
#   tests/browser/types_check.sh sqlite-geodesy-wasm-VERSION.tgz
set -euo pipefail
tarball=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
tsc="$here/node_modules/typescript/bin/tsc"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

check() {  # name, package type, source, compiler options...
  local name=$1 type=$2 source=$3
  shift 3
  mkdir "$work/$name"
  cd "$work/$name"
  printf '{ "name": "%s", "private": true, "type": "%s" }\n' "$name" "$type" > package.json
  npm install --no-audit --no-fund --no-package-lock --loglevel=error "$tarball" >/dev/null
  cp "$here/types/$source" main.ts
  if node "$tsc" --strict --noEmit --skipLibCheck false --target es2020 --lib es2020,dom "$@" main.ts; then
    echo "ok: tsc --strict, $name"
  else
    echo "FAIL: tsc --strict, $name"
    failed=$((failed + 1))
  fi
}

check esm-node16 module esm.ts --module node16 --moduleResolution node16
check esm-bundler module esm.ts --module esnext --moduleResolution bundler
check cjs-node16 commonjs cjs.ts --module node16 --moduleResolution node16
check worker-node10 module node10.ts --module esnext --moduleResolution node10
[ "$failed" -eq 0 ]
