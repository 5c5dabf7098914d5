/*
** A small Windows SQLite host for the DLL: built with mingw-w64 from SQLite's
** amalgamation and run under wine by CTest.
**
**   host.exe path\to\geodesy.dll path\to\checks.tsv
**
** Loads the DLL by hand first (LoadLibrary fails unless its DllMain returns
** TRUE, and the entry point must be exported by name), then through SQLite's
** own loader, evaluates every expression of checks.tsv and a 3-argument call
** that must fail, and prints "N passed, N failed".
*/
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "sqlite3.h"

static int passed = 0, failed = 0;

static void check(int ok, const char *what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        printf("FAIL %s\n", what);
    }
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s geodesy.dll checks.tsv\n", argv[0]);
        return 2;
    }
    const char *dll = argv[1];

    HMODULE module = LoadLibraryA(dll);
    check(module != NULL, "LoadLibrary (DllMain must return TRUE)");
    if (module) {
        check(GetProcAddress(module, "sqlite3_extension_init") != NULL,
              "sqlite3_extension_init is exported");
        FreeLibrary(module);
    }

    sqlite3 *db = NULL;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) return 2;
    sqlite3_enable_load_extension(db, 1);
    char *error = NULL;
    if (sqlite3_load_extension(db, dll, NULL, &error) != SQLITE_OK) {
        printf("FAIL cannot load %s: %s\n", dll, error ? error : "?");
        return 1;
    }

    FILE *checks = fopen(argv[2], "r");
    if (!checks) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 2;
    }
    char line[512];
    while (fgets(line, sizeof line, checks)) {
        char *tab = strchr(line, '\t');
        if (line[0] == '#' || !tab) continue;
        *tab = '\0';
        const double expected = strtod(tab + 1, NULL);
        char sql[600];
        snprintf(sql, sizeof sql, "SELECT %s", line);
        sqlite3_stmt *stmt = NULL;
        int ok = sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK &&
                 sqlite3_step(stmt) == SQLITE_ROW &&
                 sqlite3_column_type(stmt, 0) == SQLITE_FLOAT;
        const double got = ok ? sqlite3_column_double(stmt, 0) : NAN;
        ok = ok && fabs(got - expected) <= 1e-12 * fabs(expected);
        if (!ok) printf("     %s gave %.17g, expected %.17g\n", line, got, expected);
        check(ok, line);
        sqlite3_finalize(stmt);
    }
    fclose(checks);

    sqlite3_stmt *stmt = NULL;
    const int rc = sqlite3_prepare_v2(db, "SELECT distance(1, 2, 3)", -1, &stmt, NULL);
    check(rc != SQLITE_OK &&
              strstr(sqlite3_errmsg(db), "wrong number of arguments to function distance()"),
          "a 3-argument call fails");
    sqlite3_finalize(stmt);
    sqlite3_close(db);

    printf("windows host, SQLite %s: %d passed, %d failed\n", sqlite3_libversion(), passed, failed);
    return failed ? 1 : 0;
}
