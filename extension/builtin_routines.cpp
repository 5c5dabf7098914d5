// SPDX-License-Identifier: MIT
// For the copy linked into a program: the three routines the adapters
// call, taken straight from the SQLite linked beside them. SQLite built
// without extension loading (SQLITE_OMIT_LOAD_EXTENSION, as some Go and
// Rust drivers build it) hands automatic extensions no routine table, and
// the entry point then uses this one instead of calling through a null
// pointer. Only the static build has this file: the loadable module never
// links SQLite.
#define SQLITE_CORE 1
#include <sqlite3ext.h>

#include "extension/functions.h"

const sqlite3_api_routines* geodesy_builtin_routines() {
    static const sqlite3_api_routines routines = [] {
        sqlite3_api_routines r{};
        r.create_function = sqlite3_create_function;
        r.value_double = sqlite3_value_double;
        r.result_double = sqlite3_result_double;
        return r;
    }();
    return &routines;
}
