#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs every artefact of dist/ the way a user would and checks it:
#
#   tests/packages/check_dist.sh VERSION DIST     (make check-dist)
#
# the checksums; the licence and VERSION in every artefact; the wheels'
# glibc floor; the wheel in a fresh venv (load, answers, clean uninstall);
# the sqlite-utils plugin in Debian 13's sqlite-utils (check_sqlite_utils.sh);
# the npm tarball in an empty project beside better-sqlite3 and libsql (the
# WebAssembly package has a check of its own, check_wasm_package.sh); the
# Linux archives in the sqlite3 shell and under qemu, the Windows archive
# under wine; the static kit in the x86-64 archive and in the -dev .deb,
# found by pkg-config and linked into a C program; the .debs through
# lintian, apt-get install and remove in a throwaway copy of the system
# (check_debs.sh), so that nothing the user installed is touched.
# Answers are those of tests/hosts/checks.tsv and tests/shell/*.sql. The
# first failure stops the run and names the artefact.
set -euo pipefail
version=$1
dist=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
hosts=$root/tests/hosts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

deb=libsqlite3-mod-geodesy_${version}_amd64.deb
dev=libsqlite3-mod-geodesy-dev_${version}_amd64.deb
whl=sqlite_geodesy-${version}-py3-none-manylinux_2_17_x86_64.whl
whl_arm=sqlite_geodesy-${version}-py3-none-manylinux_2_17_aarch64.whl
plugin=sqlite_utils_geodesy-${version}-py3-none-any.whl
tgz=sqlite-geodesy-${version}.tgz
wasm=sqlite-geodesy-wasm-${version}.tgz
gozip=sqlite-geodesy-go-${version}.zip
gem=sqlite_geodesy-${version}-x86_64-linux.gem
gem_arm=sqlite_geodesy-${version}-aarch64-linux.gem
jar=sqlite-geodesy-${version}.jar
pom=sqlite-geodesy-${version}.pom
crate=sqlite-geodesy-${version}.crate
linux=sqlite-geodesy-${version}-linux-x86_64
arm=sqlite-geodesy-${version}-linux-aarch64
windows=sqlite-geodesy-${version}-windows-x86_64

fail() { echo "check-dist: $1: $2" >&2; exit 1; }
step() { echo; echo "== $1"; }
passed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }

step "checksums"
(cd "$dist" && sha256sum --strict -c SHA256SUMS) || fail SHA256SUMS "a checksum does not match"
for f in "$deb" "$dev" "$whl" "$whl_arm" "$plugin" "$tgz" "$wasm" "$gozip" "$gem" "$gem_arm" "$jar" "$pom" "$crate" "$linux.tar.gz" "$arm.tar.gz" "$windows.zip"; do
  [ -f "$dist/$f" ] || fail "$f" "missing from $dist (is the version $version?)"
  grep -q "  $f\$" "$dist/SHA256SUMS" || fail "$f" "not listed in SHA256SUMS"
done
ok "SHA256SUMS covers all 16 artefacts, named for version $version"

step "licence and version inside each artefact"
mkdir -p "$work/x/deb" "$work/x/dev" "$work/x/npm" "$work/x/wasm" "$work/x/arch"
dpkg-deb -x "$dist/$deb" "$work/x/deb"
dpkg-deb -x "$dist/$dev" "$work/x/dev"
for d in "$deb" "$dev"; do
  [ "$(dpkg-deb -f "$dist/$d" Version)" = "$version" ] || fail "$d" "control Version is not $version"
done
tar xzf "$dist/$tgz" -C "$work/x/npm"
tar xzf "$dist/$wasm" -C "$work/x/wasm"
tar xzf "$dist/$linux.tar.gz" -C "$work/x/arch"
tar xzf "$dist/$arm.tar.gz" -C "$work/x/arch"
(cd "$work/x/arch" && unzip -q "$dist/$windows.zip")
grep -q '"version": "'"$version"'"' "$work/x/npm/package/package.json" || fail "$tgz" "package.json version is not $version"
grep -q '"scripts"' "$work/x/npm/package/package.json" && fail "$tgz" "package.json has scripts: nothing may run at install time"
grep -q '"version": "'"$version"'"' "$work/x/wasm/package/package.json" || fail "$wasm" "package.json version is not $version"
for licence in "$work/x/deb/usr/share/doc/libsqlite3-mod-geodesy/copyright" \
               "$work/x/dev/usr/share/doc/libsqlite3-mod-geodesy-dev/copyright" \
               "$work/x/npm/package/LICENSE" "$work/x/wasm/package/LICENSE" "$work/x/arch/$linux/LICENSE" \
               "$work/x/arch/$arm/LICENSE" "$work/x/arch/$windows/LICENSE"; do
  grep -q "Permission is hereby granted, free of charge" "$licence" || fail "$licence" "no MIT licence text"
done
for w in "$whl" "$whl_arm" "$plugin"; do
  info=$(unzip -Z1 "$dist/$w" | sed -n 's|^\(.*-'"$version"'\.dist-info\)/METADATA$|\1|p')
  unzip -p "$dist/$w" "$info/LICENSE" | grep -q "Permission is hereby granted" \
    || fail "$w" "no licence in its dist-info"
  unzip -p "$dist/$w" "$info/METADATA" | grep -qx "Version: $version" \
    || fail "$w" "METADATA Version is not $version"
done
gomodule=$(unzip -Z1 "$dist/$gozip" | sed -n 's|^\(.*\)@v'"$version"'/go\.mod$|\1|p')
[ -n "$gomodule" ] || fail "$gozip" "holds no go.mod under MODULE@v$version/"
unzip -p "$dist/$gozip" "$gomodule@v$version/LICENSE" | grep -q "Permission is hereby granted" \
  || fail "$gozip" "no licence"
for g in "$gem" "$gem_arm"; do
  tar -xOf "$dist/$g" data.tar.gz | tar -xzO LICENSE | grep -q "Permission is hereby granted" || fail "$g" "no licence"
  [ "$(gem spec "$dist/$g" version | sed -n 's/^version: //p')" = "$version" ] || fail "$g" "its version is not $version"
done
unzip -p "$dist/$jar" META-INF/LICENSE | grep -q "Permission is hereby granted" || fail "$jar" "no licence"
unzip -p "$dist/$jar" META-INF/MANIFEST.MF | grep -q "^Implementation-Version: $version" \
  || fail "$jar" "its manifest's version is not $version"
for m in linux-x86_64/geodesy.so linux-aarch64/geodesy.so windows-x86_64/geodesy.dll; do
  unzip -l "$dist/$jar" "io/sqlitegeodesy/$m" >/dev/null || fail "$jar" "has no $m"
done
mkdir -p "$work/x/crate"
tar xzf "$dist/$crate" -C "$work/x/crate"
grep -q "Permission is hereby granted" "$work/x/crate/sqlite-geodesy-$version/LICENSE" || fail "$crate" "no licence"
grep -qx "version = \"$version\"" "$work/x/crate/sqlite-geodesy-$version/Cargo.toml" || fail "$crate" "its version is not $version"
ok "every artefact carries the MIT licence and version $version"

step "each registry's metadata: the project's links, the package's own README, its dependencies"
homepage=$(/usr/bin/python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["homepage"])' "$root/packaging/project.json")
for d in "$deb" "$dev"; do
  [ "$(dpkg-deb -f "$dist/$d" Homepage)" = "$homepage" ] || fail "$d" "its Homepage is not $homepage"
done
for p in "$work/x/npm/package/package.json" "$work/x/wasm/package/package.json"; do
  /usr/bin/python3 -c 'import json, sys; m = json.load(open(sys.argv[1])); sys.exit(not (m["homepage"] == sys.argv[2] and m["repository"]["url"] and m["bugs"]["url"]))' \
    "$p" "$homepage" || fail "$p" "no homepage $homepage, repository or bugs"
done
for w in "$whl" "$whl_arm" "$plugin"; do
  meta=$(unzip -p "$dist/$w" "$(unzip -Z1 "$dist/$w" | grep '\.dist-info/METADATA$')")
  grep -qx "Home-page: $homepage" <<<"$meta" && grep -q '^Project-URL: Source, ' <<<"$meta" || fail "$w" "no Home-page or Source link"
  grep -q 'from a clone\|\./build/geodesy' <<<"$meta" && fail "$w" "its long description is the repository's README"
done
for g in "$gem" "$gem_arm"; do
  spec=$(gem spec "$dist/$g")
  grep -qx "homepage: $homepage" <<<"$spec" || fail "$g" "its homepage is not $homepage"
  grep -A3 -- '- !ruby/object:Gem::Dependency' <<<"$spec" | grep -qx 'name: sqlite3' \
    || grep -qx '  name: sqlite3' <<<"$spec" || fail "$g" "no runtime dependency on the sqlite3 gem"
  grep -q 'documentation_uri: ' <<<"$spec" || fail "$g" "no documentation_uri"
done
for key in homepage repository documentation; do
  grep -q "^$key = \"http" "$work/x/crate/sqlite-geodesy-$version/Cargo.toml" || fail "$crate" "its Cargo.toml has no $key"
done
ok "Homepage in the .debs, npm packages, wheels, gems and crate; the wheels' own README; the gems need sqlite3"

step "the wheels' modules need glibc 2.17 at most, and only libc and libm"
for w in "$whl" "$whl_arm"; do
  mkdir -p "$work/x/$w" && (cd "$work/x/$w" && unzip -q "$dist/$w" sqlite_geodesy/geodesy.so)
  so=$work/x/$w/sqlite_geodesy/geodesy.so
  top=$(readelf --dyn-syms -W "$so" | grep -o '@GLIBC_[0-9.]*' | sed 's/@GLIBC_//' | sort -uV | tail -1)
  [ -n "$top" ] || fail "$w" "its module needs no glibc symbol version: not a glibc build?"
  [ "$(printf '%s\n2.17\n' "$top" | sort -V | tail -1)" = 2.17 ] || fail "$w" "needs GLIBC_$top, above the manylinux_2_17 tag"
  needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
  [ "$needed" = "libc.so.6 libm.so.6 " ] || fail "$w" "needs libraries beyond libc and libm: $needed"
  ok "$w: GLIBC_$top at most; needs $needed"
done

step "the wheel in a fresh venv"
/usr/bin/python3 -m venv "$work/venv"
find "$work/venv" | sort > "$work/before"
"$work/venv/bin/pip" install --quiet --no-index "$dist/$whl" || fail "$whl" "pip install --no-index failed"
(cd "$work" && "$work/venv/bin/python" "$hosts/python_host.py" --package "$version") || fail "$whl" "the installed package does not load or answer"
message=$("$work/venv/bin/python" -c '
import sqlite_geodesy
try:
    sqlite_geodesy.load("not a connection")
except TypeError as e:
    print(e)')
case $message in
  *"takes a connection that can load extensions"*"not str"*) ok "load() of a string says what it got: $message" ;;
  *) fail "$whl" "load() of a string gave no clear TypeError: $message" ;;
esac
# apsw's connections (Debian's python3-apsw) give sqlite3's bits, in a
# venv made as docs/hosts.md says: one that sees the system's packages.
/usr/bin/python3 -m venv --system-site-packages "$work/venv-apsw"
"$work/venv-apsw/bin/pip" install --quiet --no-index "$dist/$whl" || fail "$whl" "pip install beside apsw failed"
answer=$("$work/venv-apsw/bin/python" -c '
import apsw, sqlite3, sqlite_geodesy
sql = "SELECT distance(51.47, -0.4543, 40.6413, -73.7781), project_lon(0, 0, 45, 1e7)"
a = apsw.Connection(":memory:")
sqlite_geodesy.load(a)
s = sqlite3.connect(":memory:")
sqlite_geodesy.load(s)
print(tuple(a.cursor().execute(sql).fetchall()[0]) == s.execute(sql).fetchone())') \
  || fail "$whl" "load() of an apsw connection failed"
[ "$answer" = True ] || fail "$whl" "apsw and sqlite3 connections gave different bits"
ok "load() takes an apsw connection too, and it gives sqlite3's bits"
# sqlite-utils (Debian's) with the installed wheel's module, as docs/hosts.md says.
answer=$(sqlite-utils memory "SELECT distance(0, 0, 0, 1) AS m" --load-extension \
  "$("$work/venv/bin/python" -c 'import sqlite_geodesy; print(sqlite_geodesy.loadable_path())')") \
  || fail "$whl" "sqlite-utils --load-extension with loadable_path() failed"
[ "$answer" = '[{"m": 111319.49079327343}]' ] || fail "$whl" "sqlite-utils gave $answer"
ok "sqlite-utils --load-extension takes loadable_path(): $answer"
"$work/venv/bin/pip" uninstall --quiet -y sqlite-geodesy || fail "$whl" "pip uninstall failed"
find "$work/venv" | sort > "$work/after"
diff "$work/before" "$work/after" || fail "$whl" "pip uninstall left the files above behind"
ok "$whl installs, loads, answers and uninstalls without a trace"

# A Python whose sqlite3 cannot load extensions (pyenv's default build)
# must get an error that says so, not an AttributeError.
noext=""
for py in $(type -ap python3); do
  "$py" -c 'import sqlite3, sys; sys.exit(hasattr(sqlite3.connect(":memory:"), "enable_load_extension"))' || continue
  "$py" -m venv "$work/venv-noext"
  "$work/venv-noext/bin/pip" install --quiet --no-index "$dist/$whl"
  message=$(cd "$work" && "$work/venv-noext/bin/python" -c '
import sqlite3, sqlite_geodesy
try:
    sqlite_geodesy.load(sqlite3.connect(":memory:"))
except sqlite_geodesy.ExtensionLoadingUnavailable as e:
    print(e)') || true
  echo "$message" | grep -q "built without extension loading" || fail "$whl" "$py gave no clear error: $message"
  ok "$py (no extension loading): $message"
  noext=$py
  break
done
[ -n "$noext" ] || echo "note: no python3 on PATH lacks extension loading; its error message was not checked"

step "the sqlite-utils plugin, in Debian 13's sqlite-utils"
"$root/tests/packages/check_sqlite_utils.sh" "$dist/$plugin" "$dist" "$work/x/arch/$linux/geodesy.so" \
  > "$work/sqlite-utils.log" 2>&1 || { cat "$work/sqlite-utils.log"; fail "$plugin" "its check failed"; }
ok "$(sed -n 's/^ok: //p' "$work/sqlite-utils.log")"

step "the npm package beside better-sqlite3 and libsql"
mkdir "$work/app"
(cd "$work/app" && npm init -y >/dev/null &&
  npm install --no-audit --no-fund --loglevel=error "$dist/$tgz" better-sqlite3@12 libsql) \
  || fail "$tgz" "npm install failed"
for driver in better-sqlite3 libsql; do
  (cd "$work/app" && node "$hosts/node_host.js" --package "$version" "$driver") \
    || fail "$tgz" "does not load or answer in $driver"
done
message=$(cd "$work/app" && node -e "
  Object.defineProperty(process, 'platform', { value: 'freebsd' });
  try { require('sqlite-geodesy').getLoadablePath(); } catch (e) { console.log(e.message); }")
case $message in
  *freebsd-x64*linux-x64*) ok "an unsupported platform is told: $message" ;;
  *) fail "$tgz" "no clear error on an unsupported platform: $message" ;;
esac
[ -f "$work/app/node_modules/sqlite-geodesy/index.d.ts" ] || fail "$tgz" "no TypeScript declarations"

step "the Go module, fetched through a Go proxy folder as go get fetches it"
proxy=$work/goproxy/$gomodule/@v
mkdir -p "$proxy" "$work/goapp"
cp "$dist/$gozip" "$proxy/v$version.zip"
unzip -p "$dist/$gozip" "$gomodule@v$version/go.mod" > "$proxy/v$version.mod"
echo "v$version" > "$proxy/list"
printf '{"Version":"v%s"}\n' "$version" > "$proxy/v$version.info"
cp "$root/tests/packages/go_host/main.go" "$work/goapp/"
cat > "$work/goapp/go.mod" <<EOM
module example.test/app

go 1.19

replace github.com/mattn/go-sqlite3 => /usr/share/gocode/src/github.com/mattn/go-sqlite3
EOM
(cd "$work/goapp" && export GOPROXY="file://$work/goproxy" GOSUMDB=off GOFLAGS=-modcacherw \
   GOPATH="$work/gopath" GOCACHE="$work/gocache" GO111MODULE=on &&
 go get "$gomodule@v$version" github.com/mattn/go-sqlite3@v1.14.16 >/dev/null 2>&1 &&
 go build -o host .) || fail "$gozip" "go get and go build of a program using it failed"
/usr/bin/python3 "$root/tests/reference/check_bits.py" "$work/x/arch/$linux/geodesy.so" --native-host "$work/goapp/host" \
  | tail -1 | grep -q ' 0 failed' || fail "$gozip" "a program built with it gives other bits than the module"
ok "$gozip: go get through a proxy folder, go build, and every result bit of the module"

step "the Ruby gem, installed with gem install and used through the sqlite3 gem"
"$root/tests/packages/check_gem.sh" "$dist/$gem" "$work/x/arch/$linux/geodesy.so" > "$work/gem.log" 2>&1 \
  || { cat "$work/gem.log"; fail "$gem" "its test or its bits failed"; }
ok "$gem: installs, its test passes, and every result bit is the module's"

step "the Java jar with xerial's sqlite-jdbc, directly and through a HikariCP pool"
"$root/tests/packages/check_jar.sh" "$dist/$jar" "$work/x/arch/$linux/geodesy.so" > "$work/jar.log" 2>&1 \
  || { cat "$work/jar.log"; fail "$jar" "its test or its bits failed"; }
ok "$jar: its test passes, and every result bit is the module's"

step "the Rust crate, built offline against Debian's rusqlite"
"$root/tests/packages/check_crate.sh" "$work/x/crate/sqlite-geodesy-$version" "$work/x/arch/$linux/geodesy.so" \
  > "$work/crate.log" 2>&1 || { cat "$work/crate.log"; fail "$crate" "cargo test or its bits failed"; }
ok "$crate: cargo test passes, and every result bit is the module's"

step "the release archives"
for sql in "$root"/tests/shell/*.sql; do
  cmake -DSHELL=sqlite3 -DMODULE="$work/x/arch/$linux/geodesy.so" -DSQL="$sql" \
    -P "$root/cmake/RunShellChecks.cmake" || fail "$linux.tar.gz" "the sqlite3 shell checks of $sql failed"
done
ok "$linux.tar.gz: the module answers in the sqlite3 shell"
qemu-aarch64 -L /usr/aarch64-linux-gnu "$root/build-arm64/tests/emulated/host" \
  "$work/x/arch/$arm/geodesy.so" "$hosts/checks.tsv" || fail "$arm.tar.gz" "the module fails in the aarch64 host"
ok "$arm.tar.gz: the module answers in the aarch64 host under qemu"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
WINEDEBUG=-all WINEPREFIX="$root/build-mingw/wineprefix" WINEDLLOVERRIDES=mscoree,mshtml= \
  "$wine" "$root/build-mingw/tests/emulated/host.exe" "$work/x/arch/$windows/geodesy.dll" "$hosts/checks.tsv" \
  || fail "$windows.zip" "the DLL fails in the Windows host under wine"
ok "$windows.zip: the DLL answers in the Windows host under wine"

"$root/tests/packages/link_kit.sh" "$work/x/arch/$linux/lib/pkgconfig" || fail "$linux.tar.gz" "its static kit fails"
ok "$linux.tar.gz: the static kit links through pkg-config, and the program answers"
# The aarch64 kit, cross-linked beside SQLite's amalgamation and run under qemu.
aarch64-linux-gnu-gcc -O1 -I "$root/build-wasm/sqlite" -o "$work/linked-arm64" \
  "$root/tests/static/linked_program.c" "$root/build-wasm/sqlite/sqlite3.c" -lpthread -ldl \
  $(PKG_CONFIG_PATH="$work/x/arch/$arm/lib/pkgconfig" pkg-config --cflags --libs sqlite-geodesy) \
  || fail "$arm.tar.gz" "the static kit does not link for aarch64"
qemu-aarch64 -L /usr/aarch64-linux-gnu "$work/linked-arm64" >/dev/null \
  || fail "$arm.tar.gz" "a program linking the static kit fails under qemu"
ok "$arm.tar.gz: the static kit links through pkg-config for aarch64, and the program answers under qemu"

step "the Debian packages, installed and removed in a throwaway copy of this system"
"$root/tests/packages/check_debs.sh" "$version" "$dist" > "$work/debs.log" 2>&1 \
  || { cat "$work/debs.log"; fail "the .debs" "their check failed"; }
grep '^\(ok\|skipped\): ' "$work/debs.log"
passed=$((passed + $(grep -c '^ok: ' "$work/debs.log")))

echo
echo "check-dist: $passed passed, 0 failed"
