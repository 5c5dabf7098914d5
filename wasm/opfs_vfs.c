/* SPDX-License-Identifier: MIT */
/* The "geodesy-opfs" VFS: a database and its rollback journal kept in the
 * browser's Origin Private File System, read and written page by page
 * through synchronous access handles, which browsers give to dedicated
 * workers only. SQLite's own journal makes every COMMIT atomic and
 * durable: the journal is flushed before a page of the database is
 * overwritten, and a journal left behind by a killed worker is rolled
 * back by the next connection that reads the database.
 *
 * The handles belong to durable.js, which opens them (an asynchronous
 * step) while it holds the database's Web Lock, before any SQL runs; the
 * calls below only use them. Taking turns between tabs and workers is
 * that lock's job, so the locking methods here only record the level
 * SQLite asked for, which tells durable.js whether a statement still
 * reads. Temporary files go to the default VFS, in memory; a WAL file is
 * refused, so journal_mode=WAL keeps the rollback journal. */
#include <emscripten.h>
#include <string.h>

#include "sqlite3.h"

/* The JavaScript side, in durable.js. A file is a small number; sizes and
 * offsets cross as doubles, exact below 2^53. A negative result is an
 * error: -2 a full quota, -3 a file whose handle is not open. */
EM_JS(int, opfs_open, (const char* path), { return durableOpen(UTF8ToString(path)); });
EM_JS(void, opfs_close, (int file), { durableClose(file); });
EM_JS(int, opfs_read, (int file, void* out, int amount, double offset),
      { return durableRead(file, out, amount, offset); });
EM_JS(int, opfs_write, (int file, const void* data, int amount, double offset),
      { return durableWrite(file, data, amount, offset); });
EM_JS(int, opfs_truncate, (int file, double size), { return durableTruncate(file, size); });
EM_JS(int, opfs_flush, (int file), { return durableFlush(file); });
EM_JS(double, opfs_size, (int file), { return durableSize(file); });
EM_JS(void, opfs_lock, (int file, int level), { durableLock(file, level); });
EM_JS(int, opfs_exists, (const char* path), { return durableExists(UTF8ToString(path)); });
EM_JS(int, opfs_empty, (const char* path), { return durableEmpty(UTF8ToString(path)); });

typedef struct {
    sqlite3_file base;
    int id;
} OpfsFile;

/* The default VFS, for temporary files, time and randomness. */
static sqlite3_vfs* fallback;

static int io_error(int rc, int fallback_code) {
    if (rc == -2) return SQLITE_FULL;
    return fallback_code;
}

static int opfs_x_close(sqlite3_file* file) {
    opfs_close(((OpfsFile*)file)->id);
    return SQLITE_OK;
}

static int opfs_x_read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
    int got = opfs_read(((OpfsFile*)file)->id, out, amount, (double)offset);
    if (got < 0) return SQLITE_IOERR_READ;
    if (got < amount) {
        /* SQLite requires the rest zeroed on a short read. */
        memset((char*)out + got, 0, (size_t)(amount - got));
        return SQLITE_IOERR_SHORT_READ;
    }
    return SQLITE_OK;
}

static int opfs_x_write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    int rc = opfs_write(((OpfsFile*)file)->id, data, amount, (double)offset);
    return rc == amount ? SQLITE_OK : io_error(rc, SQLITE_IOERR_WRITE);
}

static int opfs_x_truncate(sqlite3_file* file, sqlite3_int64 size) {
    int rc = opfs_truncate(((OpfsFile*)file)->id, (double)size);
    return rc == 0 ? SQLITE_OK : io_error(rc, SQLITE_IOERR_TRUNCATE);
}

static int opfs_x_sync(sqlite3_file* file, int flags) {
    (void)flags;
    int rc = opfs_flush(((OpfsFile*)file)->id);
    return rc == 0 ? SQLITE_OK : io_error(rc, SQLITE_IOERR_FSYNC);
}

static int opfs_x_file_size(sqlite3_file* file, sqlite3_int64* size) {
    double bytes = opfs_size(((OpfsFile*)file)->id);
    if (bytes < 0) return SQLITE_IOERR_FSTAT;
    *size = (sqlite3_int64)bytes;
    return SQLITE_OK;
}

static int opfs_x_lock(sqlite3_file* file, int level) {
    opfs_lock(((OpfsFile*)file)->id, level);
    return SQLITE_OK;
}

static int opfs_x_check_reserved_lock(sqlite3_file* file, int* out) {
    (void)file;
    *out = 0; /* only the holder of the Web Lock reaches the file */
    return SQLITE_OK;
}

static int opfs_x_file_control(sqlite3_file* file, int op, void* arg) {
    (void)file;
    (void)op;
    (void)arg;
    return SQLITE_NOTFOUND;
}

static int opfs_x_sector_size(sqlite3_file* file) {
    (void)file;
    return 4096;
}

static int opfs_x_device_characteristics(sqlite3_file* file) {
    (void)file;
    return 0; /* no promises about atomic or ordered writes: SQLite journals every page */
}

static const sqlite3_io_methods opfs_io = {
    1,
    opfs_x_close,
    opfs_x_read,
    opfs_x_write,
    opfs_x_truncate,
    opfs_x_sync,
    opfs_x_file_size,
    opfs_x_lock,
    opfs_x_lock, /* xUnlock records the lower level the same way */
    opfs_x_check_reserved_lock,
    opfs_x_file_control,
    opfs_x_sector_size,
    opfs_x_device_characteristics,
};

static int opfs_x_open(sqlite3_vfs* vfs, const char* path, sqlite3_file* file, int flags,
                       int* out_flags) {
    (void)vfs;
    int durable = SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL;
    if (path == NULL || (flags & durable) == 0) {
        /* A WAL file would need shared memory between workers: refused, so
         * that the database keeps its rollback journal. */
        if (flags & SQLITE_OPEN_WAL) return SQLITE_CANTOPEN;
        return fallback->xOpen(fallback, path, file, flags, out_flags);
    }
    OpfsFile* opfs = (OpfsFile*)file;
    opfs->id = opfs_open(path);
    if (opfs->id < 0) return SQLITE_CANTOPEN;
    opfs->base.pMethods = &opfs_io;
    if (out_flags) *out_flags = flags;
    return SQLITE_OK;
}

/* A journal is deleted by emptying it: removing an OPFS entry is an
 * asynchronous step, and an empty journal is no journal to SQLite. */
static int opfs_x_delete(sqlite3_vfs* vfs, const char* path, int sync_dir) {
    (void)vfs;
    (void)sync_dir;
    int rc = opfs_empty(path);
    if (rc == 1) return fallback->xDelete(fallback, path, sync_dir);
    return rc == 0 ? SQLITE_OK : SQLITE_IOERR_DELETE;
}

static int opfs_x_access(sqlite3_vfs* vfs, const char* path, int flags, int* out) {
    (void)vfs;
    int exists = opfs_exists(path);
    if (exists < 0) return fallback->xAccess(fallback, path, flags, out);
    *out = exists;
    return SQLITE_OK;
}

static int opfs_x_full_pathname(sqlite3_vfs* vfs, const char* path, int size, char* out) {
    (void)vfs;
    if ((int)strlen(path) >= size) return SQLITE_CANTOPEN;
    strcpy(out, path); /* names are OPFS entry names, already whole */
    return SQLITE_OK;
}

static void* opfs_x_dl_open(sqlite3_vfs* vfs, const char* path) {
    (void)vfs;
    return fallback->xDlOpen(fallback, path);
}

static void opfs_x_dl_error(sqlite3_vfs* vfs, int size, char* out) {
    (void)vfs;
    fallback->xDlError(fallback, size, out);
}

static void (*opfs_x_dl_sym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
    (void)vfs;
    return fallback->xDlSym(fallback, handle, symbol);
}

static void opfs_x_dl_close(sqlite3_vfs* vfs, void* handle) {
    (void)vfs;
    fallback->xDlClose(fallback, handle);
}

static int opfs_x_randomness(sqlite3_vfs* vfs, int size, char* out) {
    (void)vfs;
    return fallback->xRandomness(fallback, size, out);
}

static int opfs_x_sleep(sqlite3_vfs* vfs, int microseconds) {
    (void)vfs;
    return fallback->xSleep(fallback, microseconds);
}

static int opfs_x_current_time(sqlite3_vfs* vfs, double* out) {
    (void)vfs;
    return fallback->xCurrentTime(fallback, out);
}

static int opfs_x_get_last_error(sqlite3_vfs* vfs, int size, char* out) {
    (void)vfs;
    return fallback->xGetLastError ? fallback->xGetLastError(fallback, size, out) : 0;
}

static sqlite3_vfs opfs_vfs = {
    1,
    0, /* szOsFile, set at registration */
    512,
    NULL,
    "geodesy-opfs",
    NULL,
    opfs_x_open,
    opfs_x_delete,
    opfs_x_access,
    opfs_x_full_pathname,
    opfs_x_dl_open,
    opfs_x_dl_error,
    opfs_x_dl_sym,
    opfs_x_dl_close,
    opfs_x_randomness,
    opfs_x_sleep,
    opfs_x_current_time,
    opfs_x_get_last_error,
};

int geodesy_opfs_register(void) {
    fallback = sqlite3_vfs_find(NULL);
    if (fallback == NULL) return SQLITE_ERROR;
    /* Temporary files are the default VFS's, in the same memory. */
    int size = (int)sizeof(OpfsFile);
    opfs_vfs.szOsFile = fallback->szOsFile > size ? fallback->szOsFile : size;
    return sqlite3_vfs_register(&opfs_vfs, 0);
}
