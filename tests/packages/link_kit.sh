#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Links a C program against the static kit as its header says, with
# pkg-config's flags, on the system's SQLite, and runs it; the program
# checks the functions' answers itself:
#
#   tests/packages/link_kit.sh PKG_CONFIG_PATH     ('' for the system's)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PKG_CONFIG_PATH=$1
cc -O1 -o "$work/linked" "$root/tests/static/linked_program.c" \
  $(pkg-config --cflags --libs sqlite-geodesy sqlite3) || { echo "link_kit.sh: the static kit does not link" >&2; exit 1; }
"$work/linked" >/dev/null || { "$work/linked" >&2; echo "link_kit.sh: the linked program fails" >&2; exit 1; }
