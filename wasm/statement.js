// SPDX-License-Identifier: MIT
// Like the other files of the API, this runs inside the module's factory.


function Statement(ptr, database) {
  this.ptr = ptr;
  this.database = database;
  database.statements.add(this);
}

Statement.prototype.checkOpen = function () {
  if (this.ptr === 0) throw new Error('Statement closed');
  if (this.database.turn !== null) this.database.checkOpen();
};

Statement.prototype.bindValue = function (index, value) {
  var ptr = this.ptr;
  var rc;
  if (value === null || value === undefined) {
    rc = _sqlite3_bind_null(ptr, index);
  } else if (typeof value === 'number') {
    if ((value | 0) === value && !Object.is(value, -0)) {
      rc = _sqlite3_bind_int(ptr, index, value);  // no BigInt to make for a 32-bit integer
    } else if (Number.isInteger(value) && !Object.is(value, -0) &&
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
