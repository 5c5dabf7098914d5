#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Java jar as Java users use it, with Debian's xerial sqlite-jdbc and
# HikariCP (make java-test, make check-dist):
#
#   tests/packages/check_jar.sh JAR MODULE
#
# its test (load(Connection), loading off again after it, a pool's init
# SQL), then every result bit of check_bits.py through it, against MODULE
# in Python. As root, last, a server's temporary folder mounted noexec (in
# a mount namespace of its own): a refusal naming the cause, then the
# module loaded from the folder named by -Dsqlitegeodesy.dir.
set -euo pipefail
jar=$(realpath "$1")
module=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
libs=/usr/share/java/sqlite-jdbc.jar:/usr/share/java/HikariCP.jar:/usr/share/java/slf4j-api.jar:/usr/share/java/slf4j-nop.jar
javac -d "$work" -cp "$jar:$libs" "$root/packaging/java/test/SqliteGeodesyTest.java" "$root/tests/packages/JavaHost.java"
java -cp "$work:$jar:$libs" SqliteGeodesyTest
/usr/bin/python3 "$root/tests/reference/check_bits.py" "$module" --native-host java -cp "$work:$jar:$libs" JavaHost

if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  echo "== java.io.tmpdir mounted noexec"
  mkdir -p "$work/noexec" "$work/own"
  unshare -m sh -ec '
    mount -t tmpfs -o noexec,size=16m tmpfs "$1/noexec"
    java -Djava.io.tmpdir="$1/noexec" -cp "$2" SqliteGeodesyTest noexec
    java -Djava.io.tmpdir="$1/noexec" -Dsqlitegeodesy.dir="$1/own" -cp "$2" SqliteGeodesyTest' \
    sh "$work" "$work:$jar:$libs"
else
  echo "skipped: a noexec temporary folder needs root and unshare"
fi
