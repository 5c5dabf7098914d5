#!/bin/sh
# SPDX-License-Identifier: MIT
# musl_maths.sh OUT.so: a shared library with musl's sin, cos, tan, atan and
# atan2, renamed musl_sin ... musl_atan2, made from the objects of Debian's
# musl-dev. Emscripten's C library takes these functions from musl, so the
# transcription evaluated with them (vincenty.use_maths) gives the bits
# that the WebAssembly module must return. Everything else in the library,
# musl's helpers included, stays local to it.
set -eu
out=$(realpath -m "$1")
libc=/usr/lib/x86_64-linux-musl/libc.a
[ -f "$libc" ] || { echo "error: $libc is missing. Install it with: sudo apt-get install musl-dev" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
objects="sin.lo cos.lo tan.lo atan.lo atan2.lo __sin.lo __cos.lo __tan.lo __rem_pio2.lo
  __rem_pio2_large.lo fabs.lo floor.lo scalbn.lo"
ar x "$libc" $objects
renames=""
for f in sin cos tan atan atan2; do renames="$renames --redefine-sym $f=musl_$f"; done
for o in $objects; do objcopy $renames "$o"; done
printf '{ global: musl_sin; musl_cos; musl_tan; musl_atan; musl_atan2; local: *; };\n' > exports.map
cc -shared -o "$out" $objects -Wl,--version-script=exports.map -Wl,-z,defs
