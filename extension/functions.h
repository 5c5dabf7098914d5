// SPDX-License-Identifier: MIT
// The SQL adapters: each reads four arguments, calls one solver and hands
// one of its results back. All share the routine table stored by the entry
// point.
#ifndef GEODESY_EXTENSION_FUNCTIONS_H
#define GEODESY_EXTENSION_FUNCTIONS_H

#include <sqlite3ext.h>

// Inverse problem: lat1, lon1, lat2, lon2 in degrees.
void distance_func(sqlite3_context* context, int argc, sqlite3_value** argv);
void azimut_start_func(sqlite3_context* context, int argc, sqlite3_value** argv);
void azimut_end_func(sqlite3_context* context, int argc, sqlite3_value** argv);

// Direct problem: lat1, lon1, azimuth in degrees, distance in metres.
void project_lat_func(sqlite3_context* context, int argc, sqlite3_value** argv);
void project_lon_func(sqlite3_context* context, int argc, sqlite3_value** argv);

// In the static build only: the routines of the SQLite linked beside the
// extension, for a host that hands the entry point no table.
const sqlite3_api_routines* geodesy_builtin_routines();

#endif  // GEODESY_EXTENSION_FUNCTIONS_H
