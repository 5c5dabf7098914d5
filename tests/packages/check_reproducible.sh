#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds every release artefact a second time, from a fresh clone of the
# same commit in another folder, and compares the two SHA256SUMS: every
# artefact must be byte-identical (make check-dist runs this).
#
#   tests/packages/check_reproducible.sh DIST
set -euo pipefail
dist=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible: the work tree has uncommitted changes; commit them, then make dist again" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone --quiet "$root" "$work/src"
echo "== make dist again, in $work/src"
make -C "$work/src" dist > "$work/build.log" 2>&1 || { tail -n 40 "$work/build.log"; exit 1; }
if diff -u "$dist/SHA256SUMS" "$work/src/dist/SHA256SUMS"; then
  echo "ok: all $(wc -l < "$dist/SHA256SUMS") artefacts are byte-identical when built again from a fresh clone"
else
  echo "check-reproducible: the artefacts above differ between the two builds" >&2
  exit 1
fi
