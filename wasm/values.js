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
// without the NUL; the caller frees ptr. UTF-8 takes at most three bytes
// for each UTF-16 unit, so short text is encoded straight into the heap;
// long text is measured first, so as not to take three times its size.
function heapText(s) {
  if (s.length > 65536) {
    var bytes = encoder.encode(s);
    var copy = _malloc(bytes.length + 1);
    HEAPU8.set(bytes, copy);
    HEAPU8[copy + bytes.length] = 0;
    return { ptr: copy, length: bytes.length };
  }
  var ptr = _malloc(s.length * 3 + 1);
  var heap = HEAPU8;
  var length = 0;
  // Short ASCII text, the usual name or label, is copied unit by unit:
  // cheaper than a view and an encoder call for each value.
  if (s.length <= 64) {
    for (; length < s.length; length++) {
      var unit = s.charCodeAt(length);
      if (unit > 0x7f) break;
      heap[ptr + length] = unit;
    }
  }
  if (length < s.length) {
    length += encoder.encodeInto(s.substring(length), heap.subarray(ptr + length, ptr + s.length * 3)).written;
  }
  HEAPU8[ptr + length] = 0;
  return { ptr: ptr, length: length };
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
