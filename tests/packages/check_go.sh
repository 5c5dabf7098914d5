#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Go package (packaging/go) as Go users build it, offline, from
# Debian's Go sources of github.com/mattn/go-sqlite3 (make go-test):
#
#   tests/packages/check_go.sh MODULE.so AMALGAMATION_DIR
#
# go test in the package; then a program of a user's (go_host) built
# against mattn's driver on the system's SQLite, with and without the
# sqlite_omit_load_extension tag, and on mattn's compiled-in SQLite built
# with that tag (SQLite without extension loading, which hands the entry
# point no routine table). Each gives every result bit of check_bits.py,
# registered with Auto() and with ConnectHook; then the last built for
# aarch64 and run under qemu. Last, the sources compiled for aarch64 as cgo
# compiles them must hold no fused multiply-add (which also holds on a CPU
# where the qemu comparison is skipped).
set -euo pipefail
module=$(realpath "$1")
amalgamation=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mattn=/usr/share/gocode/src/github.com/mattn/go-sqlite3
package_path=$(sed -n 's/^module //p' "$root/packaging/go/go.mod")
export GOPROXY=off GOFLAGS="-mod=mod -modcacherw" GO111MODULE=on GOCACHE="$root/build-go/cache" GOPATH="$root/build-go/gopath"

# A go.mod of work's own: the package's, with mattn's driver found at $1.
modfile() {  # mattn's folder, out
  { cat "$root/packaging/go/go.mod"; echo; echo "replace github.com/mattn/go-sqlite3 => $1"; } > "$2"
}

echo "== go test"
modfile "$mattn" "$work/package.mod"
(cd "$root/packaging/go" && go test -count=1 -modfile="$work/package.mod" .)

# mattn's driver as upstream ships it, with SQLite compiled in: Debian's
# copy builds on the system's SQLite only, so the amalgamation is put back
# the way upstream's sqlite3-binding.c and .h hold it.
cp -r "$mattn" "$work/mattn-bundled"
chmod -R u+w "$work/mattn-bundled"
{ echo '#ifndef USE_LIBSQLITE3'; cat "$amalgamation/sqlite3.c"; echo '#endif'; } > "$work/mattn-bundled/sqlite3-binding.c"
{ echo '#ifndef USE_LIBSQLITE3'; cat "$amalgamation/sqlite3.h"; echo '#else'; echo '#include <sqlite3.h>'; echo '#endif'; } \
  > "$work/mattn-bundled/sqlite3-binding.h"
sed -i '1i //go:build libsqlite3' "$work/mattn-bundled/sqlite3_libsqlite3.go"

host() {  # name, mattn's folder, go build flags...
  local name=$1 driver=$2
  shift 2
  build_host "$name" "$driver" "$@"
  for way in "" -hook; do
    echo "== $name ${way:-(Auto)}"
    /usr/bin/python3 "$root/tests/reference/check_bits.py" "$module" --native-host "$work/$name/host" $way
  done
}

build_host() {  # name, mattn's folder, go build flags...
  build_program "$root/tests/packages/go_host" "$@"
}

build_program() {  # source folder, name, mattn's folder, go build flags...
  local source=$1 name=$2 driver=$3
  shift 3
  mkdir -p "$work/$name"
  cp "$source"/*.go "$work/$name/"
  cat > "$work/$name/go.mod" <<EOM
module example.test/host

go 1.19

require (
	github.com/mattn/go-sqlite3 v1.14.16
	$package_path v0.0.0
)

replace github.com/mattn/go-sqlite3 => $driver

replace $package_path => $root/packaging/go
EOM
  (cd "$work/$name" && go build "$@" -o host .)
  # The bundled driver must not have fallen back to the system's SQLite.
  if [ "$driver" != "$mattn" ] && readelf -d "$work/$name/host" | grep -q 'NEEDED.*libsqlite3'; then
    echo "FAIL: $name links the system's libsqlite3"; exit 1
  fi
}
host system-sqlite "$mattn"
# Where the project's build has the instruction alone, so must cgo's.
if nm -D "$work/system-sqlite/host" | grep -qw 'U sqrt'; then
  echo "FAIL: the Go package calls libm's sqrt"; exit 1
fi
host system-sqlite-omit-load-extension "$mattn" -tags sqlite_omit_load_extension
host bundled-sqlite-omit-load-extension "$work/mattn-bundled" -tags sqlite_omit_load_extension

# aarch64, where GCC fuses multiply-adds unless told not to: the program
# cross-built on mattn's compiled-in SQLite, run under qemu. Its bits are
# those of glibc's FMA maths code, which this CPU's glibc must also take
# for the comparison (check_bits.py skips, 77, without FMA).
echo "== bundled-sqlite on aarch64, under qemu"
CGO_ENABLED=1 GOARCH=arm64 CC=aarch64-linux-gnu-gcc CXX=aarch64-linux-gnu-g++ CGO_CPPFLAGS="-I$amalgamation" \
  build_host bundled-sqlite-arm64 "$work/mattn-bundled" -tags sqlite_omit_load_extension
status=0
/usr/bin/python3 "$root/tests/reference/check_bits.py" "$module" \
  --host qemu-aarch64 -L /usr/aarch64-linux-gnu "$work/bundled-sqlite-arm64/host" || status=$?
[ $status = 0 ] || [ $status = 77 ] || exit $status

echo "== no fused multiply-add in the sources cgo compiles, for aarch64"
fused=0
for source in "$root"/packaging/go/src_*.cpp; do
  aarch64-linux-gnu-g++ -std=c++17 -O3 -fno-exceptions -fno-rtti -DGEODESY_STATIC_LINK \
    -I "$root/packaging/go" -I "$root" -I "$amalgamation" -S -o "$work/out.s" "$source"
  if grep -Eq '\bf(n?madd|n?msub)\b' "$work/out.s"; then
    echo "FAIL: $(basename "$source") compiles to fused multiply-adds on aarch64"
    fused=1
  fi
done
[ $fused = 0 ] && echo "ok: none in $(ls "$root"/packaging/go/src_*.cpp | wc -l) sources"
[ $fused = 0 ] || exit 1

# The same program on the Go package and on the static kit, in turns: CPU
# time a row of SQLite and the functions, and the bits of the sums.
echo "== the Go package beside the static kit (ns of CPU a row, best of 5 runs; 4 turns)"
build_program "$root/bench/go_beside_kit" bench-package "$mattn"
CGO_LDFLAGS="$(dirname "$module")/libgeodesy.a" build_program "$root/bench/go_beside_kit" bench-kit "$mattn" -tags kit
for turn in 1 2 3 4; do
  "$work/bench-package/host"
  "$work/bench-kit/host"
done | tee "$work/bench.txt"
if [ "$(cut -d' ' -f3 "$work/bench.txt" | sort -u | wc -l)" != 1 ]; then
  echo "FAIL: the Go package and the static kit sum to different bits"; exit 1
fi
