// SPDX-License-Identifier: MIT
/*
** A small SQLite host in C, built from SQLite's amalgamation for the
** platforms whose modules are checked under an emulator: Windows (mingw-w64,
** run under wine) and arm64 (aarch64-linux-gnu, run under qemu-aarch64).
**
**   host MODULE CHECKS.tsv   evaluates every expression of checks.tsv and a
**                            3-argument call that must fail; prints
**                            "N passed, N failed"
**   host MODULE CHECKS.sql   runs the statements of a file of the sqlite3
**                            shell checks (tests/shell), whose every row
**                            must end in 1; prints "N passed, N failed"
**   host MODULE --bits       reads lines "inverse|direct A B C D" from
**                            standard input (each argument the 16 hex digits
**                            of a double, or i<integer>) and prints, per
**                            line, the results of the three inverse or the
**                            two direct functions as hex bits, or NULL
**
** On Windows it first loads the DLL by hand: LoadLibrary fails unless its
** DllMain returns TRUE, and the entry point must be exported by name.
*/
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#endif

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

static int run_checks(sqlite3 *db, const char *path) {
    FILE *checks = fopen(path, "r");
    if (!checks) {
        fprintf(stderr, "cannot open %s\n", path);
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
    printf("host, SQLite %s: %d passed, %d failed\n", sqlite3_libversion(), passed, failed);
    return failed ? 1 : 0;
}

// Every statement's rows must end in the integer 1.
static int run_sql_checks(sqlite3 *db, const char *path) {
    FILE *file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "cannot open %s\n", path);
        return 2;
    }
    static char text[1 << 16];
    const size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = '\0';
    const char *sql = text;
    while (*sql) {
        sqlite3_stmt *stmt = NULL;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, &sql) != SQLITE_OK) {
            check(0, sqlite3_errmsg(db));
            return 1;
        }
        if (!stmt) continue;  /* a comment or white space */
        const int last = sqlite3_column_count(stmt) - 1;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            check(sqlite3_column_type(stmt, last) == SQLITE_INTEGER &&
                      sqlite3_column_int(stmt, last) == 1,
                  (const char *)sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
    }
    printf("host, SQLite %s, %s: %d passed, %d failed\n", sqlite3_libversion(), path, passed,
           failed);
    return failed || !passed ? 1 : 0;
}

static void bind_argument(sqlite3_stmt *stmt, int i, const char *text) {
    if (text[0] == 'i') {
        sqlite3_bind_int64(stmt, i, strtoll(text + 1, NULL, 10));
    } else {
        const uint64_t u = strtoull(text, NULL, 16);
        double x;
        memcpy(&x, &u, sizeof x);
        sqlite3_bind_double(stmt, i, x);
    }
}

static int run_bits(sqlite3 *db) {
    static const char *const sql[2] = {
        "SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)",
        "SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)"};
    sqlite3_stmt *stmt[2];
    for (int k = 0; k < 2; ++k) {
        if (sqlite3_prepare_v2(db, sql[k], -1, &stmt[k], NULL) != SQLITE_OK) {
            fprintf(stderr, "%s\n", sqlite3_errmsg(db));
            return 2;
        }
    }
    char problem[16], arg[4][64];
    while (scanf("%15s %63s %63s %63s %63s", problem, arg[0], arg[1], arg[2], arg[3]) == 5) {
        sqlite3_stmt *s = stmt[strcmp(problem, "inverse") == 0 ? 0 : 1];
        for (int i = 0; i < 4; ++i) bind_argument(s, i + 1, arg[i]);
        if (sqlite3_step(s) != SQLITE_ROW) {
            fprintf(stderr, "%s\n", sqlite3_errmsg(db));
            return 2;
        }
        for (int col = 0; col < sqlite3_column_count(s); ++col) {
            if (sqlite3_column_type(s, col) == SQLITE_NULL) {
                fputs(col ? " NULL" : "NULL", stdout);
            } else {
                const double x = sqlite3_column_double(s, col);
                uint64_t u;
                memcpy(&u, &x, sizeof u);
                printf("%s%08lx%08lx", col ? " " : "", (unsigned long)(u >> 32),
                       (unsigned long)(u & 0xffffffffu));
            }
        }
        putchar('\n');
        sqlite3_reset(s);
    }
    sqlite3_finalize(stmt[0]);
    sqlite3_finalize(stmt[1]);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s MODULE CHECKS.tsv|CHECKS.sql|--bits\n", argv[0]);
        return 2;
    }
    const char *module = argv[1];

#ifdef _WIN32
    HMODULE dll = LoadLibraryA(module);
    check(dll != NULL, "LoadLibrary (DllMain must return TRUE)");
    if (dll) {
        check(GetProcAddress(dll, "sqlite3_extension_init") != NULL,
              "sqlite3_extension_init is exported");
        FreeLibrary(dll);
    }
#endif

    sqlite3 *db = NULL;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) return 2;
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, NULL);
    char *error = NULL;
    if (sqlite3_load_extension(db, module, NULL, &error) != SQLITE_OK) {
        printf("FAIL cannot load %s: %s\n", module, error ? error : "?");
        return 1;
    }
    const size_t n = strlen(argv[2]);
    const int rc = strcmp(argv[2], "--bits") == 0                     ? run_bits(db)
                   : n > 4 && strcmp(argv[2] + n - 4, ".sql") == 0 ? run_sql_checks(db, argv[2])
                                                                      : run_checks(db, argv[2]);
    sqlite3_close(db);
    return rc;
}
