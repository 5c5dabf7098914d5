// SPDX-License-Identifier: MIT
// Like the other files of the API, this runs inside the module's factory.


// A scalar SQL function written in JavaScript, taking as many arguments as
// fn declares (fn.length), as sql.js does, or options.arity of them, or any
// number with options.varargs (fn.length is 0 for (...args) => ...). Arguments arrive as query
// results do; fn's result is stored as a bound value is; a throw fails the
// query with the thrown message. The five geodesic functions cannot be
// replaced, so that their results stay the module's.
var GEODESY_FUNCTIONS = ['distance', 'azimut_start', 'azimut_end', 'project_lat', 'project_lon'];

Database.prototype.create_function = function (name, fn, options) {
  this.checkOpen();
  if (typeof fn !== 'function') throw new TypeError('create_function needs a function');
  var arity = fn.length;
  if (options && options.varargs) {
    arity = -1;
  } else if (options && options.arity !== undefined) {
    arity = options.arity;
    if (!Number.isInteger(arity) || arity < 0 || arity > 127) {
      throw new RangeError('create_function: arity must be a whole number from 0 to 127, not ' + options.arity);
    }
  }
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
  var rc = _sqlite3_create_function_v2(this.db, text, arity, SQLITE_UTF8, 0, call, 0, 0, 0);
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
