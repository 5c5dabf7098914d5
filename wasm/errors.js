// SPDX-License-Identifier: MIT
// Like the other files of the API, this runs inside the module's factory.


// SQLite's result codes by name, for error.code: the primary codes, then
// for each its extended codes in order (code | n << 8 is the n-th).
var PRIMARY_CODES = ('OK ERROR INTERNAL PERM ABORT BUSY LOCKED NOMEM READONLY INTERRUPT IOERR ' +
  'CORRUPT NOTFOUND FULL CANTOPEN PROTOCOL EMPTY SCHEMA TOOBIG CONSTRAINT MISMATCH MISUSE ' +
  'NOLFS AUTH FORMAT RANGE NOTADB NOTICE WARNING').split(' ');
var EXTENDED_CODES = {
  OK: 'LOAD_PERMANENTLY SYMLINK',
  ERROR: 'MISSING_COLLSEQ RETRY SNAPSHOT RESERVESIZE KEY UNABLE',
  ABORT: '- ROLLBACK',
  BUSY: 'RECOVERY SNAPSHOT TIMEOUT',
  LOCKED: 'SHAREDCACHE VTAB',
  READONLY: 'RECOVERY CANTLOCK ROLLBACK DBMOVED CANTINIT DIRECTORY',
  IOERR: 'READ SHORT_READ WRITE FSYNC DIR_FSYNC TRUNCATE FSTAT UNLOCK RDLOCK DELETE BLOCKED ' +
    'NOMEM ACCESS CHECKRESERVEDLOCK LOCK CLOSE DIR_CLOSE SHMOPEN SHMSIZE SHMLOCK SHMMAP SEEK ' +
    'DELETE_NOENT MMAP GETTEMPPATH CONVPATH VNODE AUTH BEGIN_ATOMIC COMMIT_ATOMIC ' +
    'ROLLBACK_ATOMIC DATA CORRUPTFS IN_PAGE BADKEY CODEC',
  CORRUPT: 'VTAB SEQUENCE INDEX',
  CANTOPEN: 'NOTEMPDIR ISDIR FULLPATH CONVPATH DIRTYWAL SYMLINK',
  CONSTRAINT: 'CHECK COMMITHOOK FOREIGNKEY FUNCTION NOTNULL PRIMARYKEY TRIGGER UNIQUE VTAB ' +
    'ROWID PINNED DATATYPE',
  AUTH: 'USER',
  NOTICE: 'RECOVER_WAL RECOVER_ROLLBACK RBU',
  WARNING: 'AUTOINDEX',
};

function codeName(errno) {
  var primary = PRIMARY_CODES[errno & 0xff];
  if (primary === undefined) return 'SQLITE_UNKNOWN';
  var extended = (errno >> 8) && (EXTENDED_CODES[primary] || '').split(' ')[(errno >> 8) - 1];
  return 'SQLITE_' + primary + (extended && extended !== '-' ? '_' + extended : '');
}

// SQLite's last error on db as an Error with SQLite's message, its result
// code's name (error.code, such as 'SQLITE_CONSTRAINT_UNIQUE') and number
// (error.errno).
function sqliteError(db) {
  var error = new Error(readText(_sqlite3_errmsg(db)));
  error.errno = _sqlite3_extended_errcode(db);
  error.code = codeName(error.errno);
  return error;
}

// Whether error is one that SQLite reported (with code and errno), for
// code that catches unknown errors.
function isSqliteError(error) {
  return error instanceof Error && typeof error.code === 'string' && /^SQLITE_/.test(error.code) &&
    typeof error.errno === 'number';
}

// Whether error is a save refused because another tab or worker saved since.
function isSaveConflict(error) {
  return error instanceof Error && error.code === 'SAVE_CONFLICT';
}
