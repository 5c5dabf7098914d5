#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A Ruby gem installed as Ruby users install it, then used with Debian's
# sqlite3 gem (make ruby-test, make check-dist):
#
#   tests/packages/check_gem.sh GEM MODULE
#
# gem install --local into a folder of its own; the gem's test; then every
# result bit of check_bits.py through it, against MODULE in Python.
set -euo pipefail
gem=$(realpath "$1")
module=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gem install --local --no-document --install-dir "$work/gems" "$gem" >/dev/null
export GEM_HOME="$work/gems" GEM_PATH="$work/gems:$(gem env gempath)"
ruby "$root/packaging/ruby/test/test_sqlite_geodesy.rb"
/usr/bin/python3 "$root/tests/reference/check_bits.py" "$module" --native-host ruby "$root/tests/packages/ruby_host.rb"
