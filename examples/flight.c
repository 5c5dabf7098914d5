// SPDX-License-Identifier: MIT
/*
** The route of a flight along the geodesic, Sydney to Los Angeles, from C:
** length, bearings at departure and arrival, and the point halfway along.
**
**   cc examples/flight.c -lsqlite3 -lm -o build/flight && build/flight [path/to/geodesy]
**
** The extension's path defaults to ./build/geodesy (run from the project
** folder).
*/
#include <math.h>
#include <stdio.h>

#include <sqlite3.h>

static const char *const query =
    "WITH leg AS ("
    "  SELECT distance(?1, ?2, ?3, ?4) AS metres,"
    "         azimut_start(?1, ?2, ?3, ?4) AS departure,"
    "         azimut_end(?1, ?2, ?3, ?4) AS arrival"
    ") "
    "SELECT metres, departure, arrival,"
    "       project_lat(?1, ?2, departure, metres / 2),"
    "       project_lon(?1, ?2, departure, metres / 2) "
    "FROM leg";

int main(int argc, char **argv) {
    const char *lib = argc > 1 ? argv[1] : "./build/geodesy";
    sqlite3 *db = NULL;
    char *error = NULL;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) return 1;
    // Enables extension loading for the C API only, not for SQL load_extension().
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, NULL);
    if (sqlite3_load_extension(db, lib, NULL, &error) != SQLITE_OK) {
        fprintf(stderr,
                "cannot load the extension from %s: %s\n"
                "Build it with 'make build' in the project folder, or pass its path: "
                "./flight path/to/geodesy\n",
                lib, error ? error : "unknown error");
        sqlite3_free(error);
        sqlite3_close(db);
        return 1;
    }

    const double route[4] = {-33.9461, 151.1772, 33.9425, -118.4081};
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, query, -1, &stmt, NULL) != SQLITE_OK) {
        fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    for (int i = 0; i < 4; ++i) sqlite3_bind_double(stmt, i + 1, route[i]);
    if (sqlite3_step(stmt) != SQLITE_ROW) {
        fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    const double metres = sqlite3_column_double(stmt, 0);
    const double departure = sqlite3_column_double(stmt, 1);
    const double arrival = sqlite3_column_double(stmt, 2);
    const double mid_lat = sqlite3_column_double(stmt, 3);
    const double mid_lon = sqlite3_column_double(stmt, 4);
    sqlite3_finalize(stmt);
    sqlite3_close(db);

    printf("SYD -> LAX\n");
    printf("length:    %.1f km\n", metres / 1000);
    printf("departure: %.2f degrees\n", departure);
    printf("arrival:   %.2f degrees\n", arrival);
    printf("halfway:   %.4f, %.4f (project_lon gave %.4f)\n", mid_lat,
           mid_lon - 360 * round(mid_lon / 360), mid_lon);
    return 0;
}
