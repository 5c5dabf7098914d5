// SPDX-License-Identifier: MIT

// Package geodesy gives the SQLite connections of
// github.com/mattn/go-sqlite3 sqlite-geodesy's five SQL functions for
// geodesics on the WGS 84 ellipsoid, solved with Vincenty's formulae:
// distance, azimut_start and azimut_end (metres and degrees between two
// points), and project_lat and project_lon (the point reached from a
// start point along an azimuth after a distance).
//
// The functions are compiled into the program by cgo from the project's
// C++ sources, with the floating-point flags that keep every result bit
// (-ffp-contract=off): nothing is loaded at run time, so it works where
// extension loading is compiled out (the sqlite_omit_load_extension tag).
//
// Either register the functions for every connection opened from now on:
//
//	geodesy.Auto()
//	db, err := sql.Open("sqlite3", "places.db")
//
// or only for the connections of a driver of your own:
//
//	sql.Register("sqlite3_geodesy", &sqlite3.SQLiteDriver{ConnectHook: geodesy.ConnectHook})
//	db, err := sql.Open("sqlite3_geodesy", "places.db")
package geodesy

/*
#cgo CPPFLAGS: -I${SRCDIR} -I${SRCDIR}/../.. -DGEODESY_STATIC_LINK -Dsqlite3_api=sqlite3_geodesy_api
#cgo CXXFLAGS: -std=c++17 -O3 -fno-exceptions -fno-rtti -fvisibility=hidden
#cgo 386 CXXFLAGS: -msse2 -mfpmath=sse
#cgo LDFLAGS: -lm
#include <sqlite3.h>

int sqlite3_geodesy_init(sqlite3 *db, char **pzErrMsg, const sqlite3_api_routines *pApi);

static int geodesy_auto(void) {
	return sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
}
static int geodesy_cancel_auto(void) {
	return sqlite3_cancel_auto_extension((void (*)(void))sqlite3_geodesy_init);
}
static int geodesy_register(void *db) {
	return sqlite3_geodesy_init((sqlite3 *)db, 0, 0);
}
*/
import "C"

import (
	"errors"
	"fmt"
	"reflect"
	"unsafe"

	"github.com/mattn/go-sqlite3"
)

// Auto registers the functions on every connection that SQLite opens
// from now on, in this process (sqlite3_auto_extension). Calling it again
// does nothing more.
func Auto() error {
	if rc := C.geodesy_auto(); rc != C.SQLITE_OK {
		return fmt.Errorf("sqlite-geodesy: sqlite3_auto_extension failed with SQLite code %d", int(rc))
	}
	return nil
}

// CancelAuto undoes Auto for connections opened after it; those already
// open keep the functions.
func CancelAuto() {
	C.geodesy_cancel_auto()
}

// ConnectHook registers the functions on one connection. It is the shape
// of sqlite3.SQLiteDriver's ConnectHook:
//
//	&sqlite3.SQLiteDriver{ConnectHook: geodesy.ConnectHook}
func ConnectHook(conn *sqlite3.SQLiteConn) error {
	db, err := handle(conn)
	if err != nil {
		return err
	}
	if rc := C.geodesy_register(db); rc != C.SQLITE_OK {
		return fmt.Errorf("sqlite-geodesy: registering the functions failed with SQLite code %d", int(rc))
	}
	return nil
}

// handle is the connection's sqlite3 pointer, which go-sqlite3 keeps in
// an unexported field (db *C.sqlite3) and has no accessor for.
func handle(conn *sqlite3.SQLiteConn) (unsafe.Pointer, error) {
	if conn == nil {
		return nil, errors.New("sqlite-geodesy: ConnectHook was given no connection")
	}
	field := reflect.ValueOf(conn).Elem().FieldByName("db")
	if !field.IsValid() || field.Kind() != reflect.Ptr {
		return nil, errors.New("sqlite-geodesy: this version of github.com/mattn/go-sqlite3 keeps no " +
			"db pointer in SQLiteConn; use geodesy.Auto() instead")
	}
	db := unsafe.Pointer(field.Pointer())
	if db == nil {
		return nil, errors.New("sqlite-geodesy: the connection is closed")
	}
	return db, nil
}
