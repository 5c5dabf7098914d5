/* SPDX-License-Identifier: MIT
 * sqlite-geodesy linked into a program beside SQLite (libgeodesy.a; with
 * pkg-config: `pkg-config --cflags --libs sqlite-geodesy`). Register the
 * entry point once, before opening connections, and every connection gets
 * distance, azimut_start, azimut_end, project_lat and project_lon:
 *
 *     sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
 *
 * or call it on one connection: sqlite3_geodesy_init(db, NULL, NULL).
 * It works whether or not SQLite hands it a routine table (SQLite built
 * with SQLITE_OMIT_LOAD_EXTENSION hands none), and always returns
 * SQLITE_OK. */
#ifndef SQLITE3_GEODESY_H
#define SQLITE3_GEODESY_H

#include <sqlite3.h>

#ifdef __cplusplus
extern "C" {
#endif

int sqlite3_geodesy_init(sqlite3 *db, char **pzErrMsg, const sqlite3_api_routines *pApi);

#ifdef __cplusplus
}
#endif

#endif
