// SPDX-License-Identifier: MIT
// Where Database.open(name) and db.save() keep a database's bytes in a
// browser: the Origin Private File System where the browser offers it with
// writable files and Web Locks, IndexedDB elsewhere. A save writes the
// whole file (the docs give what that costs).
//
// Every tab and worker of an origin shares these, so each stored database
// has a version, counted up by every save and by a remove. A copy
// remembers the version it was read at, and its save goes through only if
// that is still the stored version: otherwise another tab or worker saved
// or removed since, and the save fails with the code SAVE_CONFLICT and
// leaves the newer state alone.
//
// The version is stored in the same step as the bytes, so that no failure
// can separate them: in IndexedDB both go in one transaction; in OPFS the
// version is a trailer at the end of the database's own file, written by
// the same writable stream, which the browser swaps in whole on close()
// or not at all (a full quota, a closed tab). The check and the write run
// while holding the name's Web Lock (OPFS) or in one transaction
// (IndexedDB), so of two saves at once exactly one wins. A remove keeps
// the name's version, counted up, so that a copy read before the remove
// can never overwrite what is saved after it.
//
// Like the other files of the API, this runs inside the module's factory.

var STORE_DB = 'sqlite-geodesy';
var STORE = 'databases';
var VERSIONS = 'versions';
// An OPFS file ends in this trailer: MAGIC, the version (a float64, little
// endian) and a byte that is 1 when the name was removed. A database is a
// whole number of pages of at least 512 bytes, so a file whose size is 32
// past a multiple of 512 and that ends in MAGIC has a trailer; a file
// without one was saved by 0.1.0, which kept no versions: version 1.
var TRAILER = 32;
var MAGIC = 'sqlite-geodesy:1';

function checkStorageName(name) {
  if (typeof name !== 'string' || name === '' || /[\/\\]/.test(name) || name === '.' ||
      name === '..') {
    throw new TypeError('a stored database needs a name without / or \\, such as "places.db"');
  }
}

function locks() {
  return typeof navigator === 'object' && navigator.locks &&
    typeof navigator.locks.request === 'function' ? navigator.locks : null;
}

// Runs work() while holding the Web Lock for name, where there are Web Locks.
function withLock(name, work) {
  var manager = locks();
  return manager ? manager.request('sqlite-geodesy:' + name, work) : work();
}

// The OPFS root, when files in it can be written from here and saves can
// be serialised across tabs; null otherwise.
var opfsRoot;
function opfs() {
  if (opfsRoot === undefined) {
    opfsRoot = (typeof navigator === 'object' && navigator.storage &&
                typeof navigator.storage.getDirectory === 'function' &&
                typeof FileSystemFileHandle === 'function' &&
                typeof FileSystemFileHandle.prototype.createWritable === 'function' && locks())
      ? navigator.storage.getDirectory().catch(function () { return null; })
      : Promise.resolve(null);
  }
  return opfsRoot;
}

function saveConflict(name, read, stored) {
  var error = new Error('not saved: "' + name + '" was ' + (stored.removed ? 'removed' : 'saved') +
    ' by another tab or worker after this copy was read (version ' + read + ', now version ' +
    stored.version + '), and that newer state is kept. Open it again with Database.open and make ' +
    'the change there.');
  error.code = 'SAVE_CONFLICT';
  error.name = 'SaveConflictError';
  return error;
}

// The browser's own storage errors, given a code of ours and a message that
// says what to do; the browser's error stays as error.cause. Chromium
// reports a full quota on an OPFS write as an AbortError about its data
// pipe; a site whose data is blocked gets UnknownError or SecurityError.
function storageError(error, name, doing) {
  if (!error || typeof error !== 'object' || typeof error.code === 'string') return error;
  var full = error.name === 'QuotaExceededError' ||
    (error.name === 'AbortError' && /data pipe|quota/i.test(error.message || ''));
  var blocked = !full && /^(SecurityError|UnknownError|NotAllowedError)$/.test(error.name);
  if (!full && !blocked) return error;
  var wrapped = new Error(full
    ? 'not ' + doing + ': this site\'s storage quota is full (' + error.name + '), and what is ' +
      'stored under "' + name + '" is as it was. Free space (Database.remove of names no longer ' +
      'needed), or ask for more with navigator.storage.persist().'
    : 'not ' + doing + ': the browser refuses this site storage (' + error.name + ': ' +
      (error.message || 'no reason given') + '); site data may be blocked, or this is a private ' +
      'window. Keep the database in memory, and offer db.export() as a download.');
  wrapped.code = full ? 'STORAGE_FULL' : 'STORAGE_BLOCKED';
  wrapped.name = 'StorageError';
  wrapped.cause = error;
  return wrapped;
}

function idbRequest(request) {
  return new Promise(function (resolve, reject) {
    request.onsuccess = function () { resolve(request.result); };
    request.onerror = function () { reject(request.error); };
  });
}

function idb(mode, work) {
  if (typeof indexedDB !== 'object' || indexedDB === null) {
    return Promise.reject(new Error('Database.open and save need a browser: neither the Origin ' +
      'Private File System nor IndexedDB is here. In Node.js, write db.export() to a file ' +
      'and pass its bytes to new Database(bytes).'));
  }
  var open = indexedDB.open(STORE_DB, 2);
  open.onupgradeneeded = function () {
    var db = open.result;
    if (!db.objectStoreNames.contains(STORE)) db.createObjectStore(STORE);
    if (!db.objectStoreNames.contains(VERSIONS)) db.createObjectStore(VERSIONS);
  };
  return idbRequest(open).then(function (db) {
    var transaction = db.transaction([STORE, VERSIONS], mode);
    var result = work(transaction.objectStore(STORE), transaction.objectStore(VERSIONS), transaction);
    return new Promise(function (resolve, reject) {
      transaction.oncomplete = function () { db.close(); resolve(result); };
      transaction.onerror = transaction.onabort = function () {
        db.close();
        reject(transaction.error);
      };
    });
  });
}

// The OPFS root (or null) once name is known to be a valid name.
function rootFor(name) {
  return new Promise(function (resolve) {
    checkStorageName(name);  // a throw here rejects
    resolve();
  }).then(opfs);
}

// 'opfs', 'indexeddb', or 'none' where neither is (Node.js).
function storageKind() {
  return opfs().then(function (root) {
    if (root) return 'opfs';
    return typeof indexedDB === 'object' && indexedDB !== null ? 'indexeddb' : 'none';
  });
}

function notFound(error) {
  if (error && (error.name === 'NotFoundError')) return null;
  throw error;
}

// The trailer for version, as bytes.
function trailer(version, removed) {
  var bytes = new Uint8Array(TRAILER);
  for (var i = 0; i < MAGIC.length; i++) bytes[i] = MAGIC.charCodeAt(i);
  var view = new DataView(bytes.buffer);
  view.setFloat64(16, version, true);
  view.setUint8(24, removed ? 1 : 0);
  return bytes;
}

// { version, removed, trailer } of an OPFS file (a File), from its last
// bytes only.
function fileVersion(file) {
  var bare = { version: file.size === 0 ? 0 : 1, removed: false, trailer: false };
  if (file.size % 512 !== TRAILER) return Promise.resolve(bare);
  return file.slice(file.size - TRAILER).arrayBuffer().then(function (buffer) {
    var bytes = new Uint8Array(buffer);
    for (var i = 0; i < MAGIC.length; i++) {
      if (bytes[i] !== MAGIC.charCodeAt(i)) return bare;
    }
    var view = new DataView(buffer);
    return { version: view.getFloat64(16, true), removed: view.getUint8(24) === 1, trailer: true };
  });
}

// The OPFS file of name (a File), or null.
function opfsFile(root, name) {
  return root.getFileHandle(name).then(function (handle) { return handle.getFile(); }, notFound);
}

// { version, removed } of name in OPFS.
function opfsVersion(root, name) {
  return opfsFile(root, name).then(function (file) {
    return file === null ? { version: 0, removed: false } : fileVersion(file);
  });
}

// { bytes, version } of name in OPFS: bytes null when nothing is stored.
function opfsRead(root, name) {
  return opfsFile(root, name).then(function (file) {
    if (file === null) return { bytes: null, version: 0 };
    return fileVersion(file).then(function (stored) {
      var end = file.size - (stored.trailer ? TRAILER : 0);
      if (stored.removed || end === 0) return { bytes: null, version: stored.version };
      return file.slice(0, end).arrayBuffer().then(function (buffer) {
        return { bytes: new Uint8Array(buffer), version: stored.version };
      });
    });
  });
}

// Replaces the OPFS file of name with bytes (null for a removed name) and
// the trailer for version. The browser swaps the new contents in on
// close(), or keeps the old ones whole.
function opfsWrite(root, name, bytes, version) {
  return root.getFileHandle(name, { create: true }).then(function (handle) {
    return handle.createWritable();
  }).then(function (writable) {
    return (bytes ? writable.write(bytes) : Promise.resolve()).then(function () {
      return writable.write(trailer(version, bytes === null));
    }).then(function () { return writable.close(); }, function (error) {
      var rethrow = function () { throw error; };
      return writable.abort().then(rethrow, rethrow);
    });
  });
}

// { bytes, version } of what is stored under name; bytes null when nothing is.
function readStored(name) {
  return rootFor(name).then(function (root) {
    if (root) return withLock(name, function () { return opfsRead(root, name); });
    return idbRead(name);
  }).catch(function (error) { throw storageError(error, name, 'opened'); });
}

// readStored for a caller that already holds name's Web Lock.
function readSnapshot(name) {
  return rootFor(name).then(function (root) {
    return root ? opfsRead(root, name) : idbRead(name);
  });
}

function idbRead(name) {
  var stored = { bytes: null, version: 0 };
  return idb('readonly', function (store, versions) {
    var bytes = store.get(name);
    var version = versions.get(name);
    version.onsuccess = function () {
      stored.bytes = bytes.result || null;
      // Bytes without a version were saved by 0.1.0, which kept none.
      stored.version = version.result || (stored.bytes === null ? 0 : 1);
    };
  }).then(function () { return stored; });
}

// Removes the files of the durable database name (durable.js), for a
// caller that holds name's Web Lock: no handle of them is open then.
function removeDurable(root, name) {
  return root.getDirectoryHandle('sqlite-geodesy').then(function (folder) {
    return Promise.all([name, name + '-journal'].map(function (file) {
      return folder.removeEntry(file).catch(notFound);
    }));
  }, notFound);
}

// Stores bytes under name if version is still the stored one (whatever
// it is when version is null), or, with bytes null, removes what is stored
// whatever its version; resolves to the new version. Rejects with SAVE_CONFLICT, having changed nothing, when
// another copy saved or removed since.
function writeStored(name, bytes, version) {
  var doing = bytes === null ? 'removed' : 'saved';
  return rootFor(name).then(function (root) {
    if (root) {
      return withLock(name, function () {
        var durable = bytes === null ? removeDurable(root, name) : Promise.resolve();
        return durable.then(function () { return opfsVersion(root, name); }).then(function (stored) {
          if (bytes !== null && version !== null && stored.version !== version) {
            throw saveConflict(name, version, stored);
          }
          if (bytes === null && (stored.version === 0 || stored.removed)) return stored.version;
          var next = stored.version + 1;
          return opfsWrite(root, name, bytes, next).then(function () { return next; });
        });
      });
    }
    var next = null;
    return withLock(name, function () {
      return idb('readwrite', function (store, versions, transaction) {
        // Requests end in the order they were made, and a request made
        // from a later promise callback could find the transaction already
        // committed: so the check and the writes happen in the last
        // request's own callback.
        var read = versions.get(name);
        var count = store.count(name);
        count.onsuccess = function () {
          var stored = { version: read.result || (count.result ? 1 : 0), removed: !count.result };
          if (bytes !== null && version !== null && stored.version !== version) {
            next = saveConflict(name, version, stored);
            transaction.abort();
            return;
          }
          if (bytes === null && stored.removed) {
            next = stored.version;
            return;
          }
          next = stored.version + 1;
          if (bytes === null) store.delete(name); else store.put(bytes, name);
          versions.put(next, name);
        };
      }).then(function () { return next; }, function (error) {
        if (next instanceof Error) throw next;
        throw error;
      });
    });
  }).catch(function (error) { throw storageError(error, name, doing); });
}

// Databases that outlive the page: Database.open(name) resolves to the
// database last saved under name (an empty one the first time), and
// db.save() writes it back whole, unless another tab or worker saved or
// removed it since this copy was read. db.stored says what was opened:
// { name, storage, version }, version 0 when nothing was ever stored. See
// the top of this file for where the bytes go.
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

// A copy's saves run one after another, each with the bytes of the moment
// it was called: an app that saves after every change without waiting for
// the last save must not see its own saves conflict with each other.
Database.prototype.save = function () {
  var name = this.storageName;
  if (name === null) {
    return Promise.reject(new Error('save() is for databases opened with Database.open(name)'));
  }
  if (this.turn !== null) return Promise.resolve();  // durable: every COMMIT is stored
  var bytes;
  try {
    bytes = this.export();
  } catch (error) {
    return Promise.reject(error);
  }
  var stored = this.stored;
  var saved = this.lastSave.then(function () {
    return writeStored(name, bytes, stored.version);
  }).then(function (version) {
    stored.version = version;
  });
  this.lastSave = saved.catch(function () {});
  return saved;
};

// Forgets what is stored under name. The name's version is kept, counted
// up, so that a copy read before the remove cannot overwrite what is saved
// after it.
Database.remove = function (name) {
  return writeStored(name, null, 0).then(function () { return undefined; });
};

// Stores the database in bytes (a file the user picked, a fetched
// .sqlite) under name, replacing what is stored whatever its version.
// Copies read before then can no longer save over it. Bytes that are not
// a database are refused, storing nothing.
Database.import = function (name, bytes) {
  var data;
  try {
    var check = new Database(bytes);
    data = check.export();
    check.close();
  } catch (error) {
    return Promise.reject(error);
  }
  return writeStored(name, data, null).then(function () { return undefined; });
};
