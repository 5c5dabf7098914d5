// SPDX-License-Identifier: MIT
// Like the other files of the API, this runs inside the module's factory.


// A database in memory; with bytes (a Uint8Array or ArrayBuffer holding a
// database file), a copy of that database. options.safeIntegers: every
// INTEGER comes back as a BigInt. file, for Database.openDurable only:
// { path, vfs, turn }, a file of that VFS instead of memory.
function Database(bytes, options, file) {
  if (!(this instanceof Database)) throw new TypeError("use 'new Database()'");
  this.db = 0;
  this.turn = file ? file.turn : null;  // a durable database's turn (durable.js)
  this.statements = new Set();
  this.functions = new Map();  // name -> its entry in the function table
  this.safeIntegers = Boolean(options && options.safeIntegers);
  this.storageName = null;
  this.lastSave = Promise.resolve();  // the end of this copy's last save (storage.js)
  this.stored = null;
  var out = _malloc(4);
  var name = heapString(file ? file.path : ':memory:');
  var vfs = file ? heapString(file.vfs) : 0;
  try {
    var rc = _sqlite3_open_v2(name, out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs);
    this.db = HEAP32[out >> 2];
    if (rc !== SQLITE_OK) {
      var error = this.db ? sqliteError(this.db) : new Error('out of memory');
      this.close();
      throw error;
    }
  } finally {
    _free(name);
    if (vfs) _free(vfs);
    _free(out);
  }
  if (bytes !== undefined && bytes !== null) {
    try {
      this.load(bytes);
    } catch (error) {
      this.close();
      throw error;
    }
  }
}

Database.prototype.load = function (bytes) {
  var data = asBytes(bytes);
  if (data === null) {
    throw new TypeError('a database must be given as a Uint8Array or an ArrayBuffer');
  }
  if (data.length === 0) return;
  var size = BigInt(data.length);
  var p = _sqlite3_malloc64(size);
  if (p === 0) throw new Error('out of memory');
  HEAPU8.set(data, p);
  // A file written in WAL mode opens in memory only as a rollback-journal
  // database: its two format bytes say so.
  if (data.length >= 20 && HEAPU8[p + 18] === 2 && HEAPU8[p + 19] === 2) {
    HEAPU8[p + 18] = 1;
    HEAPU8[p + 19] = 1;
  }
  var main = heapString('main');
  var rc = _sqlite3_deserialize(this.db, main, p, size, size,
                                SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
  _free(main);
  if (rc !== SQLITE_OK) throw sqliteError(this.db);
  // SQLite reads the bytes lazily; read the schema now so that what is not
  // a database fails here ("file is not a database"), not at a later query.
  this.exec('SELECT count(*) FROM sqlite_schema');
};

Database.prototype.checkOpen = function () {
  if (this.db === 0) throw new Error('Database closed');
  if (this.turn !== null && !this.turn.held) throw notHeld(this.storageName);
};

Database.prototype.prepare = function (sql, params) {
  this.checkOpen();
  var text = heapString(String(sql));
  var out = _malloc(4);
  try {
    if (_sqlite3_prepare_v2(this.db, text, -1, out, 0) !== SQLITE_OK) throw sqliteError(this.db);
    var ptr = HEAP32[out >> 2];
    if (ptr === 0) throw new Error('no SQL statement in: ' + sql);
  } finally {
    _free(text);
    _free(out);
  }
  var statement = new Statement(ptr, this);
  if (params !== undefined && params !== null) {
    try {
      statement.bind(params);
    } catch (error) {
      statement.free();
      throw error;
    }
  }
  return statement;
};



// Runs every statement of sql, each with params bound if it has parameters.
// Returns [{columns, values}] with one entry for each statement that gave
// rows.
Database.prototype.exec = function (sql, params) {
  var results = [];
  var statements = this.iterateStatements(sql);
  try {
    for (var step = statements.next(); !step.done; step = statements.next()) {
      var statement = step.value;
      if (params !== undefined && params !== null &&
          _sqlite3_bind_parameter_count(statement.ptr) > 0) {
        statement.bind(params);
      }
      var result = null;
      while (statement.step()) {
        if (result === null) {
          result = { columns: statement.getColumnNames(), values: [] };
          results.push(result);
        }
        result.values.push(statement.get());
      }
    }
  } finally {
    statements.return();
  }
  return results;
};

// Calls callback with each row of sql's one statement, as an object, then
// done(); as in sql.js, params may be left out.
Database.prototype.each = function (sql, params, callback, done) {
  if (typeof params === 'function') {
    done = callback;
    callback = params;
    params = undefined;
  }
  var statement = this.prepare(sql, params);
  try {
    while (statement.step()) callback(statement.getAsObject());
  } finally {
    statement.free();
  }
  if (typeof done === 'function') return done();
  return undefined;
};

// Runs sql (one or more statements) and returns the database itself.
Database.prototype.run = function (sql, params) {
  this.checkOpen();
  if (params === undefined || params === null) {
    this.exec(sql);
    return this;
  }
  var statement = this.prepare(sql, params);
  try {
    statement.step();
  } finally {
    statement.free();
  }
  return this;
};

Database.prototype.getRowsModified = function () {
  this.checkOpen();
  return _sqlite3_changes(this.db);
};


// The database as the bytes of a database file.
Database.prototype.export = function () {
  this.checkOpen();
  var main = heapString('main');
  var sizeOut = _malloc(8);
  try {
    var p = _sqlite3_serialize(this.db, main, sizeOut, 0);
    var size = HEAPU32[sizeOut >> 2] + HEAPU32[(sizeOut >> 2) + 1] * 4294967296;
    if (p === 0) {
      if (size === 0) return new Uint8Array(0);
      throw new Error('out of memory');
    }
    var copy = HEAPU8.slice(p, p + size);
    _sqlite3_free(p);
    return copy;
  } finally {
    _free(main);
    _free(sizeOut);
  }
};

// Frees every statement still open and closes the database. Closing twice
// is harmless.
Database.prototype.close = function () {
  if (this.db === 0) return;
  this.statements.forEach(function (statement) { statement.free(); });
  _sqlite3_close_v2(this.db);
  this.db = 0;
  if (this.turn !== null) this.turn.forget();
  this.functions.forEach(function (call) { removeFunction(call); });
  this.functions.clear();
};
