// SPDX-License-Identifier: MIT
// Where Database.open(name) and db.save() keep a database's bytes in a
// browser: the Origin Private File System where the browser offers it with
// writable files, IndexedDB elsewhere. A save writes the whole file (the
// docs give what that costs); a save that fails leaves the last one.
//
// Like api.js, this runs inside the module's factory.

var STORE_DB = 'sqlite-geodesy';
var STORE = 'databases';

function checkStorageName(name) {
  if (typeof name !== 'string' || name === '' || /[\/\\]/.test(name) || name === '.' ||
      name === '..') {
    throw new TypeError('a stored database needs a name without / or \\, such as "places.db"');
  }
}

// The OPFS root, when files in it can be written from here; null otherwise.
var opfsRoot;
function opfs() {
  if (opfsRoot === undefined) {
    opfsRoot = (typeof navigator === 'object' && navigator.storage &&
                typeof navigator.storage.getDirectory === 'function' &&
                typeof FileSystemFileHandle === 'function' &&
                typeof FileSystemFileHandle.prototype.createWritable === 'function')
      ? navigator.storage.getDirectory().catch(function () { return null; })
      : Promise.resolve(null);
  }
  return opfsRoot;
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
  var open = indexedDB.open(STORE_DB, 1);
  open.onupgradeneeded = function () { open.result.createObjectStore(STORE); };
  return idbRequest(open).then(function (db) {
    var transaction = db.transaction(STORE, mode);
    var result = work(transaction.objectStore(STORE));
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

function storageKind() {
  return opfs().then(function (root) { return root ? 'opfs' : 'indexeddb'; });
}

// The stored bytes, or null when nothing is stored under name.
function readStored(name) {
  return rootFor(name).then(function (root) {
    if (root) {
      return root.getFileHandle(name).then(function (handle) {
        return handle.getFile();
      }).then(function (file) {
        return file.arrayBuffer();
      }).then(function (buffer) {
        return new Uint8Array(buffer);
      }, function (error) {
        if (error && error.name === 'NotFoundError') return null;
        throw error;
      });
    }
    var bytes = null;
    return idb('readonly', function (store) {
      idbRequest(store.get(name)).then(function (value) { bytes = value || null; });
    }).then(function () { return bytes; });
  });
}

function writeStored(name, bytes) {
  return rootFor(name).then(function (root) {
    if (root) {
      return root.getFileHandle(name, { create: true }).then(function (handle) {
        return handle.createWritable();
      }).then(function (writable) {
        // The new bytes replace the file only when close() succeeds.
        return writable.write(bytes).then(function () { return writable.close(); },
          function (error) { return writable.abort().then(function () { throw error; }); });
      });
    }
    return idb('readwrite', function (store) { store.put(bytes, name); });
  }).then(function () { return undefined; });
}

function removeStored(name) {
  return rootFor(name).then(function (root) {
    if (root) {
      return root.removeEntry(name).catch(function (error) {
        if (!error || error.name !== 'NotFoundError') throw error;
      });
    }
    return idb('readwrite', function (store) { store.delete(name); });
  }).then(function () { return undefined; });
}
