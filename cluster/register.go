// SPDX-License-Identifier: MIT

package main

// The five functions, linked into this program from libgeodesy.a (make
// cluster passes it in CGO_LDFLAGS), and registered with SQLite's
// auto-extension list: dqlite opens its connections through the same
// libsqlite3 as this process, so every connection it opens has them.

/*
#cgo LDFLAGS: -lsqlite3 -lm
#include <sqlite3.h>

#include <time.h>

int sqlite3_geodesy_init(sqlite3 *db, char **error, const sqlite3_api_routines *api);

// The statement time limit: a statement that has run for longer is
// interrupted by SQLite's progress handler. dqlite steps statements on the
// same loop that keeps the node in touch with the others, so without it
// one long query would hold the leader (and cost it its leadership) for
// as long as it runs. 0: no limit.
static long long statement_limit_ms = 0;

typedef struct { long long started_ms; } statement_clock;

static long long now_ms(void) {
	struct timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

// A statement starts (a trigger's program, whose text starts with "--",
// does not count as a new one).
static int on_trace(unsigned type, void *clock, void *statement, void *text) {
	const char *sql = text;
	if (type == SQLITE_TRACE_STMT && !(sql && sql[0] == '-' && sql[1] == '-')) {
		((statement_clock *)clock)->started_ms = now_ms();
	}
	return 0;
}

static int on_progress(void *clock) {
	long long started = ((statement_clock *)clock)->started_ms;
	return started != 0 && now_ms() - started > statement_limit_ms;
}

static void clock_function(sqlite3_context *context, int argc, sqlite3_value **argv) {
	sqlite3_result_null(context);
}

static int geodesy_limit_init(sqlite3 *db, char **error, const sqlite3_api_routines *api) {
	if (statement_limit_ms <= 0) return SQLITE_OK;
	statement_clock *clock = sqlite3_malloc(sizeof *clock);
	if (!clock) return SQLITE_NOMEM;
	clock->started_ms = 0;
	// The clock lives as long as the connection: it is a function's user
	// data, freed by the function's destructor when the connection closes
	// (and by sqlite3_create_function_v2 itself if it fails).
	int rc = sqlite3_create_function_v2(db, "geodesy_statement_clock", 0, SQLITE_UTF8, clock,
	                                    clock_function, NULL, NULL, sqlite3_free);
	if (rc != SQLITE_OK) return rc;
	sqlite3_trace_v2(db, SQLITE_TRACE_STMT, on_trace, clock);
	sqlite3_progress_handler(db, 1000, on_progress, clock);
	return SQLITE_OK;
}

static int geodesy_register(long long limit_ms) {
	statement_limit_ms = limit_ms;
	int rc = sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
	if (rc == SQLITE_OK) rc = sqlite3_auto_extension((void (*)(void))geodesy_limit_init);
	return rc;
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

import (
	"fmt"
	"time"
)

// registerFunctions makes distance, azimut_start, azimut_end, project_lat
// and project_lon part of every SQLite connection this process opens from
// now on, with the statement time limit (0: none), and checks on a
// connection of its own that they are.
func registerFunctions(statementLimit time.Duration) error {
	if rc := C.geodesy_register(C.longlong(statementLimit.Milliseconds())); rc != C.SQLITE_OK {
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
