#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# SQLite's amalgamation for the WebAssembly build, taken from one exact npm
# package and checked against wasm/sqlite-amalgamation.sha256.
#
#   tools/sqlite_amalgamation.sh DEST PACKAGE@VERSION
#
# Fetches only when DEST is missing or does not match the checksums, so a
# rebuild needs no network. The new copy is unpacked beside DEST and moved
# into place only once it matches: a failed fetch leaves DEST as it was.
set -euo pipefail
dest=$1 package=$2
sums=$(cd "$(dirname "$0")/.." && pwd)/wasm/sqlite-amalgamation.sha256

if [ -d "$dest" ] && (cd "$dest" && sha256sum -c --quiet --status "$sums"); then exit 0; fi

echo "fetching SQLite's amalgamation from $package"
new="$dest.new"
rm -rf "$new" && mkdir -p "$new"
trap 'rm -rf "$new"' EXIT
(cd "$new" && npm pack --silent "$package" >/dev/null) || {
  echo "error: npm could not fetch $package; the WebAssembly build needs it once (then it is kept in $dest)" >&2; exit 1; }
tar -C "$new" -xzf "$new"/*.tgz --strip-components=3 package/deps/sqlite3
rm "$new"/*.tgz
(cd "$new" && sha256sum -c --quiet "$sums") || {
  echo "error: the amalgamation in $package does not match wasm/sqlite-amalgamation.sha256" >&2; exit 1; }
rm -rf "$dest" && mv "$new" "$dest"
