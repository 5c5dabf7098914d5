#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Java jar as Java users use it, with Debian's xerial sqlite-jdbc and
# HikariCP (make java-test, make check-dist):
#
#   tests/packages/check_jar.sh JAR MODULE
#
# its Maven project file (the .pom beside JAR); its test (load(Connection),
# loading off again after it, a pool's init SQL), then every result bit of
# check_bits.py through it, against MODULE in Python. As root, last, a server's temporary folder mounted noexec (in
# a mount namespace of its own): a refusal naming the cause, then the
# module loaded from the folder named by -Dsqlitegeodesy.dir.
set -euo pipefail
jar=$(realpath "$1")
module=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
libs=/usr/share/java/sqlite-jdbc.jar:/usr/share/java/HikariCP.jar:/usr/share/java/slf4j-api.jar:/usr/share/java/slf4j-nop.jar
# The Maven project file beside the jar is the one inside it, names the
# jar's own coordinates, and asks for the sqlite-jdbc tested here.
/usr/bin/python3 - "$jar" "${jar%.jar}.pom" "$(ls /usr/share/maven-repo/org/xerial/sqlite-jdbc | grep -v debian)" <<'EOP'
import re, sys, zipfile, xml.etree.ElementTree as ET
jar, pom, tested = sys.argv[1:]
ns = {"m": "http://maven.apache.org/POM/4.0.0"}
beside = open(pom, encoding="utf-8").read()
with zipfile.ZipFile(jar) as z:
    inside = [n for n in z.namelist() if n.startswith("META-INF/maven/") and n.endswith("/pom.xml")]
    assert len(inside) == 1 and z.read(inside[0]).decode() == beside, "the jar's pom.xml is not the one beside it"
    version = re.search(r"^Implementation-Version: (\S+)", z.read("META-INF/MANIFEST.MF").decode(), re.M).group(1)
root = ET.fromstring(beside)
get = lambda path: root.findtext(path, namespaces=ns)
assert inside[0] == f"META-INF/maven/{get('m:groupId')}/{get('m:artifactId')}/pom.xml", inside[0]
assert get("m:version") == version and get("m:artifactId") == "sqlite-geodesy", (get("m:version"), version)
for path in ("m:name", "m:description", "m:url", "m:licenses/m:license/m:name", "m:scm/m:url", "m:developers/m:developer/m:name"):
    assert get(path), f"the pom has no {path}"
dep = root.find("m:dependencies/m:dependency", ns)
assert dep.findtext("m:artifactId", namespaces=ns) == "sqlite-jdbc" and dep.findtext("m:version", namespaces=ns) == tested, \
    f"the pom asks for sqlite-jdbc {dep.findtext('m:version', namespaces=ns)}, the tests use {tested}"
print(f"ok: the pom names {get('m:groupId')}:sqlite-geodesy:{version} and sqlite-jdbc {tested}, inside the jar and beside it")
EOP
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
