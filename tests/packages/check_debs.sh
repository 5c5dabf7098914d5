#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The two Debian packages of dist/, checked as a user installs them
# (make check-dist runs this):
#
#   tests/packages/check_debs.sh VERSION DIST
#
# lintian on both; then, in a throwaway copy of this system
# (scratch_root.sh), apt-get install, '.load geodesy' by name or a program
# linked through pkg-config, and apt-get remove. The real system is never
# written: a user's own copy (the .deb, or make install's files at the
# same paths) stays as it was, and the check still runs in full, because
# the copy first takes away whatever the packages' files would land on.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --in-scratch-root ]; then
  shift
  scratch=1
fi
version=$1
dist=$(cd "$2" && pwd)
deb=libsqlite3-mod-geodesy_${version}_amd64.deb
dev=libsqlite3-mod-geodesy-dev_${version}_amd64.deb
passed=0
fail() { echo "check-debs: $1: $2" >&2; exit 1; }
ok() { passed=$((passed + 1)); echo "ok: $1"; }

# Only in the copy: a clean slate for the packages, then each installed,
# used and removed.
if [ -n "${scratch:-}" ]; then
  for p in libsqlite3-mod-geodesy-dev libsqlite3-mod-geodesy; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q ' installed$' && dpkg --purge "$p" >/dev/null
  done
  for d in "$deb" "$dev"; do
    dpkg-deb --fsys-tarfile "$dist/$d" | tar -t | sed -n 's|^\./|/|p' | grep -v '/$' | xargs -r rm -f
  done

  apt-get install -y -qq "$dist/$deb" >/dev/null || fail "$deb" "apt-get install failed"
  answer=$(cd / && sqlite3 :memory: ".load geodesy" "SELECT distance(0, 0, 0, 1)")
  [ "$answer" = 111319.490793273 ] || fail "$deb" "'.load geodesy' by name gave '$answer'"
  apt-get remove -y -qq libsqlite3-mod-geodesy >/dev/null || fail "$deb" "apt-get remove failed"
  [ ! -e /usr/lib/x86_64-linux-gnu/geodesy.so ] || fail "$deb" "the module is still there after removal"
  ok "$deb installs, loads by name and removes"

  apt-get install -y -qq "$dist/$dev" >/dev/null || fail "$dev" "apt-get install failed"
  "$here/link_kit.sh" "" || fail "$dev" "a program linked through pkg-config fails"
  apt-get remove -y -qq libsqlite3-mod-geodesy-dev >/dev/null || fail "$dev" "apt-get remove failed"
  [ ! -e /usr/lib/x86_64-linux-gnu/libgeodesy.a ] || fail "$dev" "libgeodesy.a is still there after removal"
  ok "$dev installs, links through pkg-config, answers and removes"
  exit 0
fi

for d in "$deb" "$dev"; do
  [ -f "$dist/$d" ] || fail "$d" "missing from $dist"
  lintian --fail-on error,warning "$dist/$d" || fail "$d" "lintian reports the errors or warnings above"
  ok "$d: lintian reports no error and no warning"
done
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing $deb and $dev needs root (a throwaway copy of the system)"
else
  # The copy's passes are counted from what it prints.
  out=$("$here/scratch_root.sh" "$0" --in-scratch-root "$version" "$dist") \
    || { echo "$out"; fail "the packages" "a step in the throwaway copy of the system failed"; }
  echo "$out" | grep '^ok: '
  passed=$((passed + $(echo "$out" | grep -c '^ok: ')))
fi
echo "check-debs: $passed passed, 0 failed"
