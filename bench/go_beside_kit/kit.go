// SPDX-License-Identifier: MIT

//go:build kit

package main

/*
#cgo LDFLAGS: -lm
#include <sqlite3.h>
int sqlite3_geodesy_init(sqlite3 *db, char **pzErrMsg, const sqlite3_api_routines *pApi);
static int geodesy_auto(void) {
	return sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
}
*/
import "C"

import "fmt"

const name = "static-kit"

// register links libgeodesy.a, given by CGO_LDFLAGS, as a C program does.
func register() error {
	if rc := C.geodesy_auto(); rc != C.SQLITE_OK {
		return fmt.Errorf("sqlite3_auto_extension failed with SQLite code %d", int(rc))
	}
	return nil
}
