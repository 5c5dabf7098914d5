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
# The gem's dependency, the sqlite3 gem, is Debian's (ruby-sqlite3), found
# on the system's gem path as an offline install finds it.
export GEM_HOME="$work/gems" GEM_PATH="$work/gems:$(gem env gempath)"
gem install --local --no-document "$gem" >/dev/null
gem list --installed sqlite_geodesy >/dev/null || { echo "check_gem.sh: the gem is not installed" >&2; exit 1; }
ruby "$root/packaging/ruby/test/test_sqlite_geodesy.rb"
/usr/bin/python3 "$root/tests/reference/check_bits.py" "$module" --native-host ruby "$root/tests/packages/ruby_host.rb"
