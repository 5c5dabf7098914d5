#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that a make target needs, before it builds.
#
#   tools/packages.sh TARGET      (the Makefile calls this; so can you)
#
# Prints the exact apt-get line before it runs it: directly as root, through
# sudo otherwise; where neither can work it stops with the line to run by
# hand. NO_INSTALL=1 installs nothing: it names every missing package at
# once and stops. On a system without dpkg it says what it would check and
# lets the build go on.
set -euo pipefail

# What each target needs. "pkg=cmd" is satisfied by the command on PATH too,
# so that a Node.js installed some other way is kept; "@target" takes in
# that target's list.
table() {
  cat <<'EOF'
build         cmake g++ make libsqlite3-dev
demo          @build sqlite3
test          @demo libgtest-dev libgeographiclib-dev python3 python3-geographiclib
sanitize      @test
tsan          @test
fuzz          cmake make libsqlite3-dev clang libclang-rt-dev
node          nodejs=node npm=npm
hosts         @test @node
windows       @test @node g++-mingw-w64-x86-64 wine64
arm64         @test @node g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user
wasm          cmake make @node emscripten
wasm-test     @wasm python3 musl-dev gcc
site          @wasm
serve         @wasm python3
browser-test  @wasm chromium firefox-esr
static-test   @build @node gcc pkgconf
ruby-test     @build python3 ruby ruby-sqlite3
java-test     @build python3 default-jdk-headless libxerial-sqlite-jdbc-java libhikaricp-java libslf4j-java
rust-test     @build python3 cargo rustc librust-cc-dev librust-rusqlite-dev
php-test      @build python3 php-cli php-sqlite3
go-test       @build @node python3 golang-go golang-github-mattn-go-sqlite3-dev g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user
cluster       @build golang-go golang-github-canonical-go-dqlite-dev golang-golang-x-crypto-dev golang-golang-x-net-dev
cluster-test  @cluster @node sqlite3 python3 go-dqlite openssl curl
cluster-faults @cluster-test gnuplot-nox iproute2
package       @build python3 dpkg-dev
wheel         @build python3 python3-build python3-setuptools python3-wheel
npm           @build @node python3
dist          @windows @arm64 @wasm @package @wheel ruby default-jdk-headless libxerial-sqlite-jdbc-java cargo librust-cc-dev librust-rusqlite-dev
check-dist    @dist python3-venv python3-apsw python3-pluggy lintian unzip sqlite3 gcc pkgconf golang-go golang-github-mattn-go-sqlite3-dev ruby-sqlite3 libhikaricp-java libslf4j-java sqlite-utils
bench         @build libbenchmark-dev libgeographiclib-dev
bench-wasm    @bench @wasm chromium firefox-esr
bench-postgis @bench python3 libpq-dev postgresql-15-postgis-3
accuracy      @bench python3 python3-geographiclib gnuplot-nox
fresh-machine debootstrap
EOF
}

# The packages of a target, "@" entries expanded, each once.
expand() {
  local line
  line=$(table | awk -v t="$1" '$1 == t { $1 = ""; print; exit }')
  [ -n "$line" ] || { echo "tools/packages.sh: no target '$1' in the table" >&2; exit 2; }
  for item in $line; do
    case $item in
      @*) expand "${item#@}" ;;
      *) echo "$item" ;;
    esac
  done
}

target=${1:?usage: tools/packages.sh TARGET}
wanted=$(expand "$target" | awk '!seen[$0]++')

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "note: no dpkg here, so the packages of 'make $target' are not checked:" $(echo "${wanted//=*/}") >&2
  exit 0
fi

installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' $(echo "${wanted}" | sed 's/=.*//') 2>/dev/null |
  awk '$2 == "ii" { print $1 }' || true)
missing=()
for item in $wanted; do
  package=${item%%=*}
  if [ "$item" != "$package" ] && command -v "${item#*=}" >/dev/null 2>&1; then continue; fi
  grep -qx -- "$package" <<<"$installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ -n "${NO_INSTALL:-}" ] && [ "${NO_INSTALL}" != 0 ]; then
  echo "error: 'make $target' needs ${#missing[@]} Debian package(s) that are not installed: ${missing[*]}" >&2
  echo "Install them with: sudo $line" >&2
  exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1; then
  run=(sudo)
else
  echo "error: 'make $target' needs these Debian packages, and neither root nor sudo is here to install them:" >&2
  echo "  $line   (as root)" >&2
  exit 1
fi

echo "make $target needs: ${missing[*]}"
# A fresh system may have no package lists yet, or old ones that lack a
# package: fetch them first in that case.
if ! apt-cache show --no-all-versions "${missing[@]}" >/dev/null 2>&1; then
  echo "+ ${run[*]:+${run[*]} }apt-get update"
  "${run[@]}" apt-get update
fi
echo "+ ${run[*]:+${run[*]} }$line"
if ! "${run[@]}" $line; then
  echo "error: installing failed. Run it by hand: sudo $line" >&2
  exit 1
fi
