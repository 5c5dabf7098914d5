// SPDX-License-Identifier: MIT
// Where Database.open(name) and db.save() keep a database's bytes in a
// browser: the Origin Private File System where the browser offers it with
// writable files and Web Locks, IndexedDB elsewhere. A save writes the
// whole file (the docs give what that costs); a save that fails leaves the
// last one.
//
// Every tab and worker of an origin shares these, so each stored database
// has a version, counted up by every save. A copy remembers the version it
// was read at, and its save goes through only if that is still the stored
// version: otherwise another tab or worker saved since, and the save fails
// with the code SAVE_CONFLICT and leaves the newer copy alone. The check
// and the write are one step for every tab: one IndexedDB transaction, or,
// for OPFS, done while holding the name's Web Lock.
//
// Like the other files of the API, this runs inside the module's factory.

var STORE_DB = 'sqlite-geodesy';
var STORE = 'databases';
var VERSIONS = 'versions';
// The OPFS folder that holds each database's version, as text.
var VERSIONS_FOLDER = 'sqlite-geodesy-versions';

function checkStorageName(name) {
  if (typeof name !== 'string' || name === '' || /[\/\\]/.test(name) || name === '.' ||
      name === '..' || name === VERSIONS_FOLDER) {
    throw new TypeError('a stored database needs a name without / or \\, other than "' +
                        VERSIONS_FOLDER + '", such as "places.db"');
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
  var error = new Error('not saved: "' + name + '" was saved by another tab or worker after this ' +
    'copy was read (version ' + read + ', now ' + (stored === 0 ? 'removed' : 'version ' + stored) +
    '), and that newer copy is kept. Open it again with Database.open and make the change there.');
  error.code = 'SAVE_CONFLICT';
  error.name = 'SaveConflictError';
  return error;
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

// The OPFS file's bytes, or null.
function readFile(folder, name) {
  return folder.getFileHandle(name).then(function (handle) {
    return handle.getFile();
  }).then(function (file) {
    return file.arrayBuffer();
  }).then(function (buffer) { return new Uint8Array(buffer); }, notFound);
}

// Replaces the OPFS file with bytes; the old bytes stay until close() succeeds.
function writeFile(folder, name, bytes) {
  return folder.getFileHandle(name, { create: true }).then(function (handle) {
    return handle.createWritable();
  }).then(function (writable) {
    return writable.write(bytes).then(function () { return writable.close(); },
      function (error) { return writable.abort().then(function () { throw error; }); });
  });
}

function versionsFolder(root) {
  return root.getDirectoryHandle(VERSIONS_FOLDER, { create: true });
}

// The stored version of name in OPFS: 0 when nothing is stored, 1 for a
// database saved before versions were kept.
function opfsVersion(root, name) {
  return versionsFolder(root).then(function (folder) {
    return readFile(folder, name);
  }).then(function (text) {
    if (text !== null) return Number(new TextDecoder().decode(text)) || 0;
    return root.getFileHandle(name).then(function () { return 1; }, notFound).then(function (v) {
      return v || 0;
    });
  });
}

// { bytes, version } of what is stored under name; bytes null, version 0
// when nothing is.
function readStored(name) {
  return rootFor(name).then(function (root) {
    if (root) {
      return withLock(name, function () {
        return Promise.all([readFile(root, name), opfsVersion(root, name)]);
      }).then(function (read) { return { bytes: read[0], version: read[0] ? read[1] : 0 }; });
    }
    var stored = { bytes: null, version: 0 };
    return idb('readonly', function (store, versions) {
      var bytes = store.get(name);
      var version = versions.get(name);
      version.onsuccess = function () {
        stored.bytes = bytes.result || null;
        stored.version = stored.bytes === null ? 0 : version.result || 1;  // 1: saved before versions were kept
      };
    }).then(function () { return stored; });
  });
}

// Stores bytes under name if version is still the stored one, and resolves
// to the new version; rejects with SAVE_CONFLICT otherwise.
function writeStored(name, bytes, version) {
  return rootFor(name).then(function (root) {
    if (root) {
      return withLock(name, function () {
        return opfsVersion(root, name).then(function (stored) {
          if (stored !== version) throw saveConflict(name, version, stored);
          // The version moves first: should the write then fail or the tab
          // close, other copies still see that theirs are out of date.
          var next = stored + 1;
          return versionsFolder(root).then(function (folder) {
            return writeFile(folder, name, new TextEncoder().encode(String(next)));
          }).then(function () {
            return writeFile(root, name, bytes).then(function () { return next; }, function (error) {
              error.version = next;  // this copy is still the newest: its next save may go through
              throw error;
            });
          });
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
          var stored = count.result ? (read.result || 1) : 0;
          if (stored !== version) {
            next = saveConflict(name, version, stored);
            transaction.abort();
            return;
          }
          next = stored + 1;
          store.put(bytes, name);
          versions.put(next, name);
        };
      }).then(function () { return next; }, function (error) {
        if (next instanceof Error) throw next;
        throw error;
      });
    });
  });
}

function removeStored(name) {
  return rootFor(name).then(function (root) {
    if (root) {
      return withLock(name, function () {
        return root.removeEntry(name).catch(notFound).then(function () {
          return versionsFolder(root);
        }).then(function (folder) {
          return folder.removeEntry(name).catch(notFound);
        });
      });
    }
    return idb('readwrite', function (store, versions) {
      store.delete(name);
      versions.delete(name);
    });
  }).then(function () { return undefined; });
}

// Databases that outlive the page: Database.open(name) resolves to the
// database last saved under name (an empty one the first time), and
// db.save() writes it back whole, unless another tab or worker saved under
// that name since this copy was read. db.stored says what was opened:
// { name, storage, version }, version 0 when nothing was stored. See
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
