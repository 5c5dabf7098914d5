// SPDX-License-Identifier: MIT
// What initSqliteGeodesy() resolves to, for both entry points. The API is
// built, inside the emscripten module's factory, from values.js,
// errors.js, statement.js, database.js, functions.js, storage.js and
// durable.js, in that order.

Module['api'] = {
  Database: Database,
  Statement: Statement,
  get sqliteVersion() { return readText(_sqlite3_libversion()); },
  storage: storageKind,
  durable: durableAvailable,
  isSqliteError: isSqliteError,
  isSaveConflict: isSaveConflict,
};
