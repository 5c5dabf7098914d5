// SPDX-License-Identifier: MIT

package main

// The five functions, linked into this program from libgeodesy.a (make
// cluster passes it in CGO_LDFLAGS), and registered with SQLite's
// auto-extension list: dqlite opens its connections through the same
// libsqlite3 as this process, so every connection it opens has them.

/*
#cgo LDFLAGS: -lsqlite3 -lm
#include <sqlite3.h>

int sqlite3_geodesy_init(sqlite3 *db, char **error, const sqlite3_api_routines *api);

static int geodesy_register(void) {
	return sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
}

// Opens a connection of its own and evaluates distance(0, 0, 0, 1): proof
// that the functions reach every new connection before the node starts.
static int geodesy_probe(double *metres) {
	sqlite3 *db = NULL;
	sqlite3_stmt *stmt = NULL;
	int rc = sqlite3_open(":memory:", &db);
	if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, "SELECT distance(0, 0, 0, 1)", -1, &stmt, NULL);
	if (rc == SQLITE_OK) rc = sqlite3_step(stmt) == SQLITE_ROW ? SQLITE_OK : SQLITE_ERROR;
	if (rc == SQLITE_OK) *metres = sqlite3_column_double(stmt, 0);
	sqlite3_finalize(stmt);
	sqlite3_close(db);
	return rc;
}
*/
import "C"

import "fmt"

// registerFunctions makes distance, azimut_start, azimut_end, project_lat
// and project_lon part of every SQLite connection this process opens from
// now on, and checks on a connection of its own that they are.
func registerFunctions() error {
	if rc := C.geodesy_register(); rc != C.SQLITE_OK {
		return fmt.Errorf("sqlite3_auto_extension failed with code %d", int(rc))
	}
	var metres C.double
	if rc := C.geodesy_probe(&metres); rc != C.SQLITE_OK {
		return fmt.Errorf("a new connection does not have the functions (SQLite code %d)", int(rc))
	}
	if metres < 111319 || metres > 111320 {
		return fmt.Errorf("distance(0, 0, 0, 1) is %v on a new connection, not 111319.49", float64(metres))
	}
	return nil
}
