#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The sqlite-utils plugin as its users install it, in a sqlite-utils that
# has plugin hooks (make check-dist):
#
#   tests/packages/check_sqlite_utils.sh PLUGIN_WHEEL DIST MODULE
#
# Debian 12's sqlite-utils (3.30) has no plugin hooks; Debian 13's (3.38)
# has. So its package is fetched from the system's own Debian mirror with
# apt-get download, through a sources list and package lists of this
# check's own (the system's apt is not touched), and unpacked into this
# check's folder, beside Debian 12's click, pluggy and the rest: nothing is
# installed. In a venv that sees the system's packages, with 3.38 ahead of
# them: pip installs the plugin and the sqlite-geodesy wheel from DIST,
# offline and without resolving (Debian's packages are the dependencies); `sqlite-utils plugins` must list the plugin, and all five
# functions through the command line and through sqlite_utils.Database
# must give MODULE's bits in Python's sqlite3.
set -euo pipefail
plugin=$(realpath "$1")
dist=$(cd "$2" && pwd)
module=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"  # apt's downloads run as _apt
fail() { echo "check_sqlite_utils.sh: $1" >&2; exit 1; }

# The mirror the system's own Debian sources name.
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v security | head -1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 !~ /security/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || fail "no Debian mirror in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/deb"
cat > "$work/apt/parts/trixie.sources" <<EOF
Types: deb
URIs: $mirror
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/apt/parts"
     -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache")
apt-get "${apt[@]}" -qq update 2>"$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt-get update of Debian 13's lists failed (above)"; }
(cd "$work/deb" && apt-get "${apt[@]}" -qq download sqlite-utils 2>"$work/apt.log") \
  || { cat "$work/apt.log" >&2; fail "Debian's archive refused Debian 13's sqlite-utils (above)"; }
dpkg-deb -x "$work"/deb/sqlite-utils_*_all.deb "$work/su"
version=$(dpkg-deb -f "$work"/deb/sqlite-utils_*_all.deb Version)

/usr/bin/python3 -m venv --system-site-packages "$work/venv"
export PYTHONPATH=$work/su/usr/lib/python3/dist-packages
python=$work/venv/bin/python
# Its dependencies are Debian's packages here, not pip's: Debian 12's
# click-default-group is older than 3.38's metadata asks (Debian 13's own
# package asks for none), so pip installs the two wheels without resolving.
wheel=$(ls "$dist"/sqlite_geodesy-*-py3-none-manylinux_2_17_x86_64.whl)
"$work/venv/bin/pip" install --quiet --no-index --no-deps "$plugin" "$wheel" \
  || fail "pip install of $(basename "$plugin") and $(basename "$wheel") failed"
"$python" -c 'import sqlite_utils, sys; from importlib.metadata import version
sys.exit(version("sqlite-utils") == "3.30")' || fail "the venv sees Debian 12's sqlite-utils, not 13's"

"$python" -m sqlite_utils plugins | grep -q '"name": "sqlite-utils-geodesy"' \
  || fail "sqlite-utils plugins does not list sqlite-utils-geodesy: $("$python" -m sqlite_utils plugins)"

# The five functions over a few points, each way; compared as doubles.
sql="SELECT distance(a, b, c, d), azimut_start(a, b, c, d), azimut_end(a, b, c, d),
       project_lat(a, b, c * 4, d * 1e5), project_lon(a, b, c * 4, d * 1e5)
     FROM (SELECT 51.47 a, -0.4543 b, 40.6413 c, -73.7781 d UNION ALL SELECT 0, 0, 0.5, 179.7
           UNION ALL SELECT -33.9399, 151.1753, 33.9416, -118.4085 UNION ALL SELECT 89.9, 10, -89.9, -170)"
"$python" - "$module" "$sql" <<'EOF' || fail "the plugin's functions do not give the module's bits"
import json, sqlite3, struct, subprocess, sys
module, sql = sys.argv[1], sys.argv[2]
direct = sqlite3.connect(":memory:")
direct.enable_load_extension(True)
direct.load_extension(module)
want = [list(row) for row in direct.execute(sql)]
bits = lambda rows: [[struct.pack("<d", v) for v in row] for row in rows]

import sqlite_utils
api = [list(row) for row in sqlite_utils.Database(memory=True).execute(sql).fetchall()]
cli = json.loads(subprocess.run([sys.executable, "-m", "sqlite_utils", "memory", sql, "--arrays"],
                                check=True, capture_output=True, text=True).stdout)
for name, got in (("sqlite_utils.Database", api), ("sqlite-utils memory", cli)):
    if bits(got) != bits(want):
        sys.exit(f"{name}: {got} != {want}")
print(f"{len(want)} rows of five functions, every bit, through the command line and the Python API")
EOF
echo "ok: sqlite-utils $version (Debian 13's, unpacked) lists the plugin, and its command line and Python API give the module's bits"
