/* SPDX-License-Identifier: MIT
 * libgeodesy.a linked into a program whose SQLite was compiled with
 * SQLITE_OMIT_LOAD_EXTENSION (make static-test). Such a SQLite hands
 * automatic extensions no routine table; the entry point must then use the
 * linked SQLite's routines, not crash. Both ways a program registers it:
 * sqlite3_auto_extension, and a direct call with no table. */
#include <math.h>
#include <stdio.h>

#include "sqlite3.h"

int sqlite3_geodesy_init(sqlite3 *db, char **error, const void *api);

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
    check("registered with sqlite3_auto_extension on SQLite without extension loading", db);
    sqlite3_close(db);

    sqlite3_reset_auto_extension();
    sqlite3_open(":memory:", &db);
    sqlite3_geodesy_init(db, NULL, NULL);
    check("called directly with no routine table", db);
    sqlite3_close(db);

    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0;
}
