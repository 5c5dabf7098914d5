#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Rust crate as Rust users build it, offline from Debian's packaged
# crates (rusqlite, cc) (make rust-test, make check-dist):
#
#   tests/packages/check_crate.sh CRATE_DIR MODULE
#
# CRATE_DIR is packaging/rust or an unpacked .crate. cargo test in a copy
# of it; then a program of a user's (rust_host) depending on it, giving
# every result bit of check_bits.py, with auto() and with load(), against
# MODULE in Python.
set -euo pipefail
crate=$(realpath "$1")
module=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cargo-home"
cat > "$work/cargo-home/config.toml" <<'EOC'
[source.crates-io]
replace-with = "debian"
[source.debian]
directory = "/usr/share/cargo/registry"
[net]
offline = true
EOC
# Debian's cargo and rustc, whatever else is on PATH.
export PATH=/usr/bin:$PATH CARGO_HOME="$work/cargo-home" CARGO_TARGET_DIR="$root/build-rust/target"
cp -r "$crate" "$work/crate"
rm -f "$work/crate/Cargo.lock"
# A copy of packaging/rust is away from the tree it takes its sources from;
# it gets them as the published crate has them, in csrc/.
if [ ! -d "$work/crate/csrc" ]; then
  mkdir "$work/crate/csrc" && ln -s "$root/geodesy" "$root/extension" "$work/crate/csrc/"
fi
(cd "$work/crate" && cargo test --quiet)
cp -r "$root/tests/packages/rust_host" "$work/host"
sed -i "s|path = \"[^\"]*\"|path = \"$work/crate\"|" "$work/host/Cargo.toml"
(cd "$work/host" && cargo build --quiet --release)
for way in "" --load; do
  echo "== rust_host ${way:-(auto)}"
  /usr/bin/python3 "$root/tests/reference/check_bits.py" "$module" --native-host "$CARGO_TARGET_DIR/release/rust-host" $way
done
