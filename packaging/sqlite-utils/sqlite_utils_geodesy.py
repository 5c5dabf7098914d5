# SPDX-License-Identifier: MIT
"""sqlite-utils plugin: distance, azimut_start, azimut_end, project_lat and
project_lon in every connection sqlite-utils opens, from the command line
and from its Python API alike. The functions are sqlite-geodesy's module,
loaded through sqlite_geodesy.load.
"""
import sqlite_geodesy
from sqlite_utils import hookimpl


@hookimpl
def prepare_connection(conn):
    sqlite_geodesy.load(conn)
