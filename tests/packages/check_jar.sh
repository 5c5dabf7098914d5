#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Java jar as Java users use it, with Debian's xerial sqlite-jdbc and
# HikariCP (make java-test, make check-dist):
#
#   tests/packages/check_jar.sh JAR MODULE
#
# its test (load(Connection), loading off again after it, a pool's init
# SQL), then every result bit of check_bits.py through it, against MODULE
# in Python.
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
