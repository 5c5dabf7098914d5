/* SPDX-License-Identifier: MIT
 * A program linking sqlite-geodesy's static kit as its docs say: the
 * installed header and libgeodesy.a, found by pkg-config (make
 * static-test). Built twice: against the system's SQLite, and against a
 * SQLite compiled with SQLITE_OMIT_LOAD_EXTENSION, which hands automatic
 * extensions no routine table; there the entry point must use the linked
 * SQLite's routines, not crash. Both ways a program registers it:
 * sqlite3_auto_extension, and a direct call with no table. */
#include <math.h>
#include <stdio.h>

#include <sqlite3_geodesy.h>

#ifdef SQLITE_OMIT_LOAD_EXTENSION
#define SQLITE_KIND "SQLite without extension loading"
#else
#define SQLITE_KIND "SQLite with extension loading"
#endif

static int passed, failed;

/* One degree of the equator on WGS 84, 111319.49079327357 m: any answer
 * within a micrometre shows the functions were registered and ran. */
static void check(const char *what, sqlite3 *db) {
    sqlite3_stmt *stmt = NULL;
    double metres = NAN;
    if (sqlite3_prepare_v2(db, "SELECT distance(0, 0, 0, 1)", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        metres = sqlite3_column_double(stmt, 0);
    sqlite3_finalize(stmt);
    int ok = fabs(metres - 111319.49079327357) < 1e-6;
    passed += ok;
    failed += !ok;
    printf("%s: %s (%.17g; %s)\n", ok ? "ok" : "FAIL", what, metres, sqlite3_errmsg(db));
}

int main(void) {
    sqlite3 *db = NULL;
    sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
    sqlite3_open(":memory:", &db);
    check("registered with sqlite3_auto_extension on " SQLITE_KIND, db);
    sqlite3_close(db);

    sqlite3_reset_auto_extension();
    sqlite3_open(":memory:", &db);
    sqlite3_geodesy_init(db, NULL, NULL);
    check("called directly with no routine table, on " SQLITE_KIND, db);
    sqlite3_close(db);

    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0;
}
