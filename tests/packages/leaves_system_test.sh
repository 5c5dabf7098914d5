#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The package checks leave what a user installed exactly as it was
# (make check-dist runs this after check_dist.sh):
#
#   tests/packages/leaves_system_test.sh VERSION DIST BUILD
#
# Two users, each played out in a throwaway copy of this system so that
# this test too leaves the real one alone: one who ran `make install`
# (PREFIX=/usr, the same paths as the packages'), one who installed both
# .debs. For each, check_debs.sh runs, which installs and removes the same
# packages; afterwards every file the user had is there with the same
# checksum, dpkg still lists the user's packages, and '.load geodesy' and
# pkg-config still find the module and the kit.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --in-scratch-root ]; then
  [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root (a throwaway copy of the system)"; exit 0; }
  exec "$here/scratch_root.sh" "$0" --in-scratch-root "$@"
fi
shift
version=$1
dist=$(cd "$2" && pwd)
build=$(cd "$3" && pwd)
passed=0 failed=0

# What the user has: each file's checksum, and the packages dpkg knows.
snapshot() {  # files...
  sha256sum "$@"
  dpkg-query -W -f='${Package} ${Status}\n' 'libsqlite3-mod-geodesy*' 2>/dev/null || true
}

# One user's system, then check_debs.sh, then the same system.
user_keeps() {  # who, files...
  local who=$1 before after
  shift
  before=$(snapshot "$@")
  "$here/check_debs.sh" "$version" "$dist" >/dev/null 2>&1 || { echo "FAILED: check_debs.sh itself failed for $who"; failed=$((failed + 1)); return; }
  after=$(snapshot "$@" 2>&1) || true
  if [ "$before" != "$after" ]; then
    echo "FAILED: $who: the checks changed what the user had:"
    diff <(echo "$before") <(echo "$after") | sed 's/^/    /'
    failed=$((failed + 1))
  elif [ "$(cd / && sqlite3 :memory: '.load geodesy' 'SELECT distance(0, 0, 0, 1)')" != 111319.490793273 ] \
       || ! pkg-config --exists sqlite-geodesy; then
    echo "FAILED: $who: '.load geodesy' or pkg-config no longer finds what the user installed"
    failed=$((failed + 1))
  else
    echo "ok: $who: all $# files unchanged, and the module and the kit still found"
    passed=$((passed + 1))
  fi
}

cmake --install "$build" --prefix /usr >/dev/null
mapfile -t installed < "$build/install_manifest.txt"
user_keeps "after make install" "${installed[@]}"

xargs -d '\n' rm -f < "$build/install_manifest.txt"
apt-get install -y -qq "$dist/libsqlite3-mod-geodesy_${version}_amd64.deb" \
  "$dist/libsqlite3-mod-geodesy-dev_${version}_amd64.deb" >/dev/null
mapfile -t owned < <(dpkg -L libsqlite3-mod-geodesy libsqlite3-mod-geodesy-dev | while read -r f; do [ -f "$f" ] && echo "$f"; done)
user_keeps "with both .debs installed" "${owned[@]}"

echo "leaves-system: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
