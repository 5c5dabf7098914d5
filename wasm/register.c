/* SPDX-License-Identifier: MIT */
/* Registers the five functions on every connection that this build of
 * SQLite opens. WebAssembly has no dlopen, so the extension is linked in
 * beside SQLite, and SQLite, compiled with
 * -DSQLITE_EXTRA_INIT=geodesy_register, calls this at the end of
 * sqlite3_initialize(), before any connection exists. It registers the
 * OPFS VFS of durable databases there too (opfs_vfs.c). */
#include "sqlite3.h"

int sqlite3_geodesy_init(sqlite3* db, char** error, const sqlite3_api_routines* api);

int geodesy_opfs_register(void);

int geodesy_register(const char* unused) {
    (void)unused;
    int rc = geodesy_opfs_register();
    if (rc != SQLITE_OK) return rc;
    return sqlite3_auto_extension((void (*)(void))sqlite3_geodesy_init);
}
