// SPDX-License-Identifier: MIT
// The JavaScript API over SQLite's C API, in the shape that sql.js made
// familiar: Database (exec, run, prepare, export, close) and Statement
// (bind, step, get, getAsObject, getColumnNames, run, reset, free).
//
// This file runs inside the emscripten module's factory, so it reaches
// the C exports (_sqlite3_*) and the heap views directly. The heap views
// are replaced when memory grows, so they are never kept in a variable.
//
// Numbers keep every bit both ways: a REAL result is the double SQLite
// holds, and a JS number is bound as REAL unless it is a whole number
// other than -0 within ±(2^53 − 1), which is bound as the INTEGER of the
// same value (so -0 stays -0, and typeof() in SQL sees what a user
// expects). An INTEGER comes back as a Number within ±(2^53 − 1) and as a
// BigInt beyond, or always as a BigInt with { safeIntegers: true }.
//
// Text is UTF-8 both ways, as the platform's TextEncoder and TextDecoder
// make it: a lone surrogate goes in as U+FFFD, bytes that are not UTF-8
// come out as one U+FFFD per bad sequence, and U+0000 is kept inside a
// value, since lengths are passed, not NUL-terminated strings.

var SQLITE_OK = 0;
var SQLITE_ROW = 100;
var SQLITE_DONE = 101;
var SQLITE_INTEGER = 1;
var SQLITE_FLOAT = 2;
var SQLITE_TEXT = 3;
var SQLITE_BLOB = 4;
var SQLITE_OPEN_READWRITE = 0x2;
var SQLITE_OPEN_CREATE = 0x4;
var SQLITE_TRANSIENT = -1;  // SQLite copies the bytes before the call returns
var SQLITE_DESERIALIZE_FREEONCLOSE = 1;
var SQLITE_DESERIALIZE_RESIZEABLE = 2;
var MAX_SAFE = BigInt(Number.MAX_SAFE_INTEGER);
var MIN_INT64 = -(BigInt(1) << BigInt(63));
var MAX_INT64 = (BigInt(1) << BigInt(63)) - BigInt(1);

var SQLITE_UTF8 = 1;
var encoder = new TextEncoder();
var decoder = new TextDecoder('utf-8');

// A NUL-terminated UTF-8 copy of s on the heap, and its length in bytes
// without the NUL; the caller frees ptr.
function heapText(s) {
  var bytes = encoder.encode(s);
  var ptr = _malloc(bytes.length + 1);
  HEAPU8.set(bytes, ptr);
  HEAPU8[ptr + bytes.length] = 0;
  return { ptr: ptr, length: bytes.length };
}

function heapString(s) {
  return heapText(s).ptr;
}

// length bytes of UTF-8 at ptr; without a length, up to the first NUL.
function readText(ptr, length) {
  if (ptr === 0) return '';
  if (length === undefined) {
    length = 0;
    while (HEAPU8[ptr + length] !== 0) length++;
  }
  return decoder.decode(HEAPU8.subarray(ptr, ptr + length));
}

function heapBytes(bytes) {
  var p = _malloc(Math.max(bytes.length, 1));
  HEAPU8.set(bytes, p);
  return p;
}

function asBytes(value) {
  if (value instanceof Uint8Array) return value;
  if (value instanceof ArrayBuffer) return new Uint8Array(value);
  if (ArrayBuffer.isView(value)) {
    return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
  }
  return null;
}

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

function Statement(ptr, database) {
  this.ptr = ptr;
  this.database = database;
  database.statements.add(this);
}

Statement.prototype.checkOpen = function () {
  if (this.ptr === 0) throw new Error('Statement closed');
};

Statement.prototype.bindValue = function (index, value) {
  var ptr = this.ptr;
  var rc;
  if (value === null || value === undefined) {
    rc = _sqlite3_bind_null(ptr, index);
  } else if (typeof value === 'number') {
    if (Number.isInteger(value) && !Object.is(value, -0) &&
        Math.abs(value) <= Number.MAX_SAFE_INTEGER) {
      rc = _sqlite3_bind_int64(ptr, index, BigInt(value));
    } else {
      rc = _sqlite3_bind_double(ptr, index, value);
    }
  } else if (typeof value === 'bigint') {
    if (value < MIN_INT64 || value > MAX_INT64) {
      throw new RangeError('BigInt ' + value + ' does not fit a 64-bit SQLite INTEGER');
    }
    rc = _sqlite3_bind_int64(ptr, index, value);
  } else if (typeof value === 'boolean') {
    rc = _sqlite3_bind_int64(ptr, index, BigInt(value ? 1 : 0));
  } else if (typeof value === 'string') {
    var text = heapText(value);
    try {
      rc = _sqlite3_bind_text(ptr, index, text.ptr, text.length, SQLITE_TRANSIENT);
    } finally {
      _free(text.ptr);
    }
  } else {
    var bytes = asBytes(value);
    if (bytes === null) {
      throw new TypeError('cannot bind a value of type ' +
                          Object.prototype.toString.call(value) + ' to parameter ' + index);
    }
    var blob = heapBytes(bytes);
    try {
      rc = _sqlite3_bind_blob(ptr, index, blob, bytes.length, SQLITE_TRANSIENT);
    } finally {
      _free(blob);
    }
  }
  if (rc !== SQLITE_OK) throw sqliteError(this.database.db);
};

// bind([v1, v2, ...]) binds by position; bind({name: v}) by name, where
// the name is written with its prefix (':lat', '$lat', '@lat') or without
// it. Earlier bindings are cleared first.
Statement.prototype.bind = function (values) {
  this.checkOpen();
  _sqlite3_reset(this.ptr);
  _sqlite3_clear_bindings(this.ptr);
  if (values === null || values === undefined) return true;
  if (Array.isArray(values)) {
    for (var i = 0; i < values.length; i++) this.bindValue(i + 1, values[i]);
    return true;
  }
  if (typeof values !== 'object') {
    throw new TypeError('parameters must be an array or an object, not ' + typeof values);
  }
  var keys = Object.keys(values);
  for (var k = 0; k < keys.length; k++) {
    var index = this.parameterIndex(keys[k]);
    if (index === 0) throw new RangeError('the statement has no parameter named ' + keys[k]);
    this.bindValue(index, values[keys[k]]);
  }
  return true;
};

Statement.prototype.parameterIndex = function (key) {
  var names = /^[:@$]/.test(key) ? [key] : [':' + key, '@' + key, '$' + key];
  for (var i = 0; i < names.length; i++) {
    var name = heapString(names[i]);
    var index = _sqlite3_bind_parameter_index(this.ptr, name);
    _free(name);
    if (index !== 0) return index;
  }
  return 0;
};

// Runs the statement to its next row: true if there is one, false when it
// is done. An error is thrown with SQLite's message.
Statement.prototype.step = function () {
  this.checkOpen();
  var rc = _sqlite3_step(this.ptr);
  if (rc === SQLITE_ROW) return true;
  if (rc === SQLITE_DONE) return false;
  var error = sqliteError(this.database.db);
  _sqlite3_reset(this.ptr);
  throw error;
};

Statement.prototype.columnValue = function (i) {
  var ptr = this.ptr;
  switch (_sqlite3_column_type(ptr, i)) {
    case SQLITE_INTEGER: {
      var n = _sqlite3_column_int64(ptr, i);
      return this.database.safeIntegers || n < -MAX_SAFE || n > MAX_SAFE ? n : Number(n);
    }
    case SQLITE_FLOAT:
      return _sqlite3_column_double(ptr, i);
    case SQLITE_TEXT: {
      var text = _sqlite3_column_text(ptr, i);  // before _bytes, as SQLite asks
      return readText(text, _sqlite3_column_bytes(ptr, i));
    }
    case SQLITE_BLOB: {
      var blob = _sqlite3_column_blob(ptr, i);
      return HEAPU8.slice(blob, blob + _sqlite3_column_bytes(ptr, i));
    }
    default:
      return null;
  }
};

Statement.prototype.getColumnNames = function () {
  this.checkOpen();
  var names = [];
  var count = _sqlite3_column_count(this.ptr);
  for (var i = 0; i < count; i++) names.push(readText(_sqlite3_column_name(this.ptr, i)));
  return names;
};

// The current row as an array. With parameters, binds them and steps
// first.
Statement.prototype.get = function (params) {
  this.checkOpen();
  if (params !== undefined && params !== null) {
    this.bind(params);
    this.step();
  }
  var row = [];
  var count = _sqlite3_column_count(this.ptr);
  for (var i = 0; i < count; i++) row.push(this.columnValue(i));
  return row;
};

Statement.prototype.getAsObject = function (params) {
  var values = this.get(params);
  var names = this.getColumnNames();
  var row = {};
  for (var i = 0; i < names.length; i++) row[names[i]] = values[i];
  return row;
};

// Binds, runs to the end and resets: for statements whose rows are not
// wanted.
Statement.prototype.run = function (params) {
  if (params !== undefined && params !== null) this.bind(params);
  this.step();
  return this.reset();
};

Statement.prototype.reset = function () {
  this.checkOpen();
  return _sqlite3_clear_bindings(this.ptr) === SQLITE_OK && _sqlite3_reset(this.ptr) === SQLITE_OK;
};

Statement.prototype.free = function () {
  if (this.ptr === 0) return false;
  _sqlite3_finalize(this.ptr);
  this.database.statements.delete(this);
  this.ptr = 0;
  return true;
};

// A database in memory; with bytes (a Uint8Array or ArrayBuffer holding a
// database file), a copy of that database. options.safeIntegers: every
// INTEGER comes back as a BigInt.
function Database(bytes, options) {
  if (!(this instanceof Database)) throw new TypeError("use 'new Database()'");
  this.db = 0;
  this.statements = new Set();
  this.functions = new Map();  // name -> its entry in the function table
  this.safeIntegers = Boolean(options && options.safeIntegers);
  this.storageName = null;
  this.stored = null;
  var out = _malloc(4);
  var name = heapString(':memory:');
  try {
    var rc = _sqlite3_open_v2(name, out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0);
    this.db = HEAP32[out >> 2];
    if (rc !== SQLITE_OK) {
      var error = this.db ? sqliteError(this.db) : new Error('out of memory');
      this.close();
      throw error;
    }
  } finally {
    _free(name);
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

// The statements of sql one at a time, each prepared when it is reached:
// an iterator of Statements, for statements that depend on the ones before
// them. A statement is freed when the next one is asked for, or when the
// loop ends; getRemainingSQL() is the text not yet prepared.
function StatementIterator(sql, database) {
  this.database = database;
  var text = heapText(String(sql));
  this.sql = text.ptr;
  this.end = text.ptr + text.length;
  this.next_ = text.ptr;
  this.current = null;
}

StatementIterator.prototype.next = function () {
  if (this.current !== null) {
    this.current.free();
    this.current = null;
  }
  var out = _malloc(8);  // the statement, then where the next one starts
  try {
    while (this.sql !== 0 && this.next_ < this.end) {
      this.database.checkOpen();
      if (_sqlite3_prepare_v2(this.database.db, this.next_, -1, out, out + 4) !== SQLITE_OK) {
        var error = sqliteError(this.database.db);
        this.return();
        throw error;
      }
      var ptr = HEAP32[out >> 2];
      var tail = HEAP32[(out + 4) >> 2];
      this.next_ = tail > this.next_ ? tail : this.end;
      if (ptr !== 0) {
        this.current = new Statement(ptr, this.database);
        return { value: this.current, done: false };
      }
    }
  } finally {
    _free(out);
  }
  return this.return();
};

StatementIterator.prototype.getRemainingSQL = function () {
  return this.sql === 0 ? '' : readText(this.next_, this.end - this.next_);
};

// Called by for...of when a loop ends early: frees what is still held.
StatementIterator.prototype.return = function () {
  if (this.current !== null) {
    this.current.free();
    this.current = null;
  }
  if (this.sql !== 0) {
    _free(this.sql);
    this.sql = 0;
  }
  return { value: undefined, done: true };
};

StatementIterator.prototype[Symbol.iterator] = function () {
  return this;
};

Database.prototype.iterateStatements = function (sql) {
  this.checkOpen();
  return new StatementIterator(sql, this);
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

// A scalar SQL function written in JavaScript, taking as many arguments as
// fn declares (fn.length), as sql.js does. Arguments arrive as query
// results do; fn's result is stored as a bound value is; a throw fails the
// query with the thrown message. The five geodesic functions cannot be
// replaced, so that their results stay the module's.
var GEODESY_FUNCTIONS = ['distance', 'azimut_start', 'azimut_end', 'project_lat', 'project_lon'];

Database.prototype.create_function = function (name, fn) {
  this.checkOpen();
  if (typeof fn !== 'function') throw new TypeError('create_function needs a function');
  name = String(name);
  if (GEODESY_FUNCTIONS.indexOf(name.toLowerCase()) >= 0) {
    throw new Error(name + '() is one of the geodesic functions built into this module; ' +
                    'give your function another name');
  }
  var database = this;
  var call = addFunction(function (context, argc, argv) {
    var args = [];
    for (var i = 0; i < argc; i++) args.push(valueOf(HEAP32[(argv >> 2) + i], database));
    var result;
    try {
      result = fn.apply(null, args);
    } catch (error) {
      var message = heapText(String(error && error.message !== undefined ? error.message : error));
      _sqlite3_result_error(context, message.ptr, message.length);
      _free(message.ptr);
      return;
    }
    setResult(context, result);
  }, 'viii');
  var text = heapString(name);
  var rc = _sqlite3_create_function_v2(this.db, text, fn.length, SQLITE_UTF8, 0, call, 0, 0, 0);
  _free(text);
  if (rc !== SQLITE_OK) {
    removeFunction(call);
    throw sqliteError(this.db);
  }
  if (this.functions.has(name)) removeFunction(this.functions.get(name));
  this.functions.set(name, call);
  return this;
};

function valueOf(value, database) {
  switch (_sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
      var n = _sqlite3_value_int64(value);
      return database.safeIntegers || n < -MAX_SAFE || n > MAX_SAFE ? n : Number(n);
    }
    case SQLITE_FLOAT:
      return _sqlite3_value_double(value);
    case SQLITE_TEXT: {
      var text = _sqlite3_value_text(value);
      return readText(text, _sqlite3_value_bytes(value));
    }
    case SQLITE_BLOB: {
      var blob = _sqlite3_value_blob(value);
      return HEAPU8.slice(blob, blob + _sqlite3_value_bytes(value));
    }
    default:
      return null;
  }
}

function setResult(context, value) {
  if (value === null || value === undefined) {
    _sqlite3_result_null(context);
  } else if (typeof value === 'number') {
    if (Number.isInteger(value) && !Object.is(value, -0) &&
        Math.abs(value) <= Number.MAX_SAFE_INTEGER) {
      _sqlite3_result_int64(context, BigInt(value));
    } else {
      _sqlite3_result_double(context, value);
    }
  } else if (typeof value === 'bigint') {
    if (value < MIN_INT64 || value > MAX_INT64) {
      setError(context, 'BigInt ' + value + ' does not fit a 64-bit SQLite INTEGER');
    } else {
      _sqlite3_result_int64(context, value);
    }
  } else if (typeof value === 'boolean') {
    _sqlite3_result_int64(context, BigInt(value ? 1 : 0));
  } else if (typeof value === 'string') {
    var text = heapText(value);
    _sqlite3_result_text(context, text.ptr, text.length, SQLITE_TRANSIENT);
    _free(text.ptr);
  } else {
    var bytes = asBytes(value);
    if (bytes === null) {
      setError(context, 'a function returned a value of type ' +
               Object.prototype.toString.call(value) + ', which SQLite cannot store');
      return;
    }
    var blob = heapBytes(bytes);
    _sqlite3_result_blob(context, blob, bytes.length, SQLITE_TRANSIENT);
    _free(blob);
  }
}

function setError(context, message) {
  var text = heapText(message);
  _sqlite3_result_error(context, text.ptr, text.length);
  _free(text.ptr);
}

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
  this.functions.forEach(function (call) { removeFunction(call); });
  this.functions.clear();
};

// Databases that outlive the page: Database.open(name) resolves to the
// database last saved under name (an empty one the first time), and
// db.save() writes it back whole, unless another tab or worker saved under
// that name since this copy was read. db.stored says what was opened:
// { name, storage, version }, version 0 when nothing was stored. See
// storage.js for where the bytes go.
Database.open = function (name, options) {
  return readStored(name).then(function (stored) {
    return storageKind().then(function (kind) {
      var database = new Database(stored.bytes, options);
      database.storageName = name;
      database.stored = { name: name, storage: kind, version: stored.version };
      return database;
    });
  });
};

Database.prototype.save = function () {
  var name = this.storageName;
  if (name === null) {
    return Promise.reject(new Error('save() is for databases opened with Database.open(name)'));
  }
  var bytes;
  try {
    bytes = this.export();
  } catch (error) {
    return Promise.reject(error);
  }
  var stored = this.stored;
  return writeStored(name, bytes, stored.version).then(function (version) {
    stored.version = version;
  }, function (error) {
    if (typeof error.version === 'number') {
      stored.version = error.version;
      delete error.version;
    }
    throw error;
  });
};

Database.remove = function (name) {
  return removeStored(name);
};

// What initSqliteGeodesy() resolves to, for both entry points.
Module['api'] = {
  Database: Database,
  Statement: Statement,
  get sqliteVersion() { return readText(_sqlite3_libversion()); },
  storage: storageKind,
};
