// SPDX-License-Identifier: MIT
// Durable databases: in a dedicated worker, Database.openDurable(name)
// keeps a database in the Origin Private File System, in the folder
// sqlite-geodesy/, as a database file and its rollback journal that
// SQLite reads and writes page by page (opfs_vfs.c). Every COMMIT is on
// disk when it returns, only the pages a transaction changed are written,
// and memory holds SQLite's page cache, not the database.
//
// Tabs and workers take turns: a durable database runs SQL only while it
// holds its name, the name's Web Lock (the one saves and removes of
// storage.js take) with the files' synchronous access handles open.
// db.hold() waits its turn; db.release() closes the handles and gives the
// turn to the next tab or worker, and refuses while a transaction or a
// statement is still open; db.use(work) holds around work. Between turns
// SQLite's own check of the file's change counter drops pages that
// another tab or worker changed. A worker killed mid-transaction leaves a
// journal that the next holder's first read rolls back.
//
// Like the other files of the API, this runs inside the module's factory.

var DURABLE_FOLDER = 'sqlite-geodesy';
var durablePaths = new Map();   // file path -> { handle, users }
var durableFiles = [];          // SQLite's open files: { path, level } or null
var durableLastError = null;    // the browser's error behind the last failed call

// Whether durable databases can be opened here: a dedicated worker of a
// browser with OPFS access handles and Web Locks.
function durableAvailable() {
  return typeof FileSystemFileHandle === 'function' &&
    typeof FileSystemFileHandle.prototype.createSyncAccessHandle === 'function' &&
    typeof navigator === 'object' && navigator.storage &&
    typeof navigator.storage.getDirectory === 'function' && locks() !== null;
}

function durableUnavailable() {
  var error = new Error('a durable database needs a dedicated Worker of a browser that offers ' +
    'OPFS access handles and Web Locks (Chromium 108, Firefox 111, Safari 16.4 or later; not a ' +
    'page, a shared or service worker, or a private window of some browsers). Open it in a ' +
    'Worker (the worker API does), or use Database.open(name) and save()');
  error.code = 'DURABLE_UNAVAILABLE';
  return error;
}

// The calls of opfs_vfs.c. They never throw into SQLite: a browser error
// becomes a negative result, kept in durableLastError for the message.
function durableOpen(path) {
  if (!durablePaths.has(path)) return -1;
  var file = durableFiles.indexOf(null);
  if (file < 0) file = durableFiles.push(null) - 1;
  durableFiles[file] = { path: path, level: 0 };
  return file;
}

function durableClose(file) {
  durableFiles[file] = null;
}

function durableHandle(file) {
  var open = durableFiles[file];
  var entry = open && durablePaths.get(open.path);
  return entry ? entry.handle : null;
}

function durableFailed(error) {
  durableLastError = error;
  return error && error.name === 'QuotaExceededError' ? -2 : -1;
}

function durableRead(file, out, amount, offset) {
  var handle = durableHandle(file);
  if (!handle) return -3;
  try {
    return handle.read(HEAPU8.subarray(out, out + amount), { at: offset });
  } catch (error) {
    return durableFailed(error);
  }
}

function durableWrite(file, data, amount, offset) {
  var handle = durableHandle(file);
  if (!handle) return -3;
  try {
    return handle.write(HEAPU8.subarray(data, data + amount), { at: offset });
  } catch (error) {
    return durableFailed(error);
  }
}

function durableTruncate(file, size) {
  var handle = durableHandle(file);
  if (!handle) return -3;
  try {
    handle.truncate(size);
    return 0;
  } catch (error) {
    return durableFailed(error);
  }
}

function durableFlush(file) {
  var handle = durableHandle(file);
  if (!handle) return -3;
  try {
    handle.flush();
    return 0;
  } catch (error) {
    return durableFailed(error);
  }
}

function durableSize(file) {
  var handle = durableHandle(file);
  if (!handle) return -3;
  try {
    return handle.getSize();
  } catch (error) {
    return durableFailed(error);
  }
}

function durableLock(file, level) {
  if (durableFiles[file]) durableFiles[file].level = level;
}

// 1 when path is a file of ours with something in it, 0 when it is ours
// and empty (an empty journal is no journal), -1 when it is not ours.
function durableExists(path) {
  var entry = durablePaths.get(path);
  if (!entry) return -1;
  try {
    return entry.handle && entry.handle.getSize() > 0 ? 1 : 0;
  } catch (error) {
    durableFailed(error);
    return 0;
  }
}

// Empties path if it is ours (0, or -1 on failure); 1 when it is not.
function durableEmpty(path) {
  var entry = durablePaths.get(path);
  if (!entry) return 1;
  if (!entry.handle) return -1;
  try {
    entry.handle.truncate(0);
    entry.handle.flush();
    return 0;
  } catch (error) {
    durableFailed(error);
    return -1;
  }
}

function durableFolder() {
  return navigator.storage.getDirectory().then(function (root) {
    return root.getDirectoryHandle(DURABLE_FOLDER, { create: true });
  });
}

// An access handle for file. A worker that was just terminated may keep
// its handles for a moment after its Web Lock is gone, so a refusal is
// tried again for a few seconds before it counts.
function accessHandle(file) {
  var started = Date.now();
  var attempt = function () {
    return file.createSyncAccessHandle().catch(function (error) {
      if (error && error.name === 'NoModificationAllowedError' && Date.now() - started < 5000) {
        return new Promise(function (resolve) { setTimeout(resolve, 50); }).then(attempt);
      }
      throw error;
    });
  };
  return attempt();
}

// The turn of one durable database: its Web Lock and its files' handles.
function DurableTurn(name, waitMs) {
  this.name = name;
  this.waitMs = waitMs;
  this.paths = [name, name + '-journal'];
  this.held = false;
  this.waiting = null;      // the hold() in progress
  this.unlock = null;       // ends the Web Lock's callback
  var paths = this.paths;
  paths.forEach(function (path) {
    var entry = durablePaths.get(path);
    if (!entry) durablePaths.set(path, entry = { handle: null, users: 0 });
    entry.users++;
  });
}

DurableTurn.prototype.hold = function () {
  if (this.held) return Promise.resolve();
  if (this.waiting) return this.waiting;
  var turn = this;
  var name = this.name;
  // A turn that does not come within waitMs is given up, so that tabs
  // that each hold one name and wait for the other's fail instead of
  // waiting for ever.
  var waitMs = this.waitMs;
  var giveUp = typeof AbortController === 'function' ? new AbortController() : null;
  var timer = giveUp && waitMs !== Infinity ? setTimeout(function () { giveUp.abort(); }, waitMs) : null;
  var locked = new Promise(function (resolve, reject) {
    locks().request('sqlite-geodesy:' + name, giveUp ? { signal: giveUp.signal } : {}, function () {
      clearTimeout(timer);
      return new Promise(function (unlock) {
        turn.unlock = unlock;
        resolve();
      });
    }).catch(function (error) {
      clearTimeout(timer);
      if (error && error.name === 'AbortError') {
        error = new Error('"' + name + '" has been held by another tab or worker for ' +
          waitMs / 1000 + ' s (a long transaction, or one left open): try again later');
        error.code = 'SQLITE_BUSY';
        error.errno = 5;
      }
      reject(error);
    });
  });
  var opened = [];
  this.waiting = locked.then(durableFolder).then(function (folder) {
    return turn.paths.reduce(function (previous, path) {
      return previous.then(function () {
        return folder.getFileHandle(path, { create: true });
      }).then(accessHandle).then(function (handle) {
        opened.push(handle);
        durablePaths.get(path).handle = handle;
      });
    }, Promise.resolve());
  }).then(function () {
    turn.held = true;
    turn.waiting = null;
  }, function (error) {
    turn.waiting = null;
    opened.forEach(function (handle) { handle.close(); });
    turn.paths.forEach(function (path) { durablePaths.get(path).handle = null; });
    if (turn.unlock) turn.unlock();
    turn.unlock = null;
    throw storageError(error, name, 'opened');
  });
  return this.waiting;
};

// Whether SQLite still reads or writes the files: a transaction, or a
// statement stepped and not yet reset.
DurableTurn.prototype.busy = function () {
  var paths = this.paths;
  return durableFiles.some(function (open) {
    return open !== null && open.level > 0 && paths.indexOf(open.path) >= 0;
  });
};

DurableTurn.prototype.release = function () {
  if (!this.held) return;
  this.paths.forEach(function (path) {
    var entry = durablePaths.get(path);
    if (entry.handle) entry.handle.close();
    entry.handle = null;
  });
  this.held = false;
  var unlock = this.unlock;
  this.unlock = null;
  unlock();
};

DurableTurn.prototype.forget = function () {
  this.release();
  this.paths.forEach(function (path) {
    var entry = durablePaths.get(path);
    if (--entry.users === 0) durablePaths.delete(path);
  });
};

function notHeld(name) {
  var error = new Error('"' + name + '" is a durable database that other tabs and workers share: ' +
    'run SQL on it inside db.use(() => ...), or between await db.hold() and db.release()');
  error.code = 'NOT_HELD';
  return error;
}

// The database stored page by page under name; an empty one the first
// time. A snapshot saved by Database.open(name) and save() before the name
// was ever opened durably becomes its first contents. options.waitMs: how
// long hold() waits for another tab or worker's turn to end (30 s).
Database.openDurable = function (name, options) {
  var waitMs = options && options.waitMs !== undefined ? Number(options.waitMs) : 30000;
  return new Promise(function (resolve) {
    checkStorageName(name);
    if (!durableAvailable()) throw durableUnavailable();
    if (!(waitMs >= 0)) throw new RangeError('waitMs must be a number of milliseconds, or Infinity');
    resolve();
  }).then(function () {
    var turn = new DurableTurn(name, waitMs);
    var database = null;
    return turn.hold().then(function () {
      database = Object.create(Database.prototype);
      Database.call(database, null, options, { path: name, vfs: 'geodesy-opfs', turn: turn });
      database.storageName = name;
      database.stored = { name: name, storage: 'opfs', version: 0, durable: true };
      if (database.exec('PRAGMA page_count')[0].values[0][0] > 0) return null;
      return readSnapshot(name);
    }).then(function (snapshot) {
      if (snapshot && snapshot.bytes) copyInto(database, snapshot.bytes);
      turn.release();
      return database;
    }).catch(function (error) {
      if (database) database.close(); else turn.forget();
      throw error;
    });
  });
};

// Replaces the contents of db (held) with the database in bytes, in one
// transaction of db's own, so that other tabs' copies see the change.
function copyInto(db, bytes) {
  var source = new Database(bytes);
  var main = heapString('main');
  try {
    var backup = _sqlite3_backup_init(db.db, main, source.db, main);
    if (backup === 0) throw sqliteError(db.db);
    _sqlite3_backup_step(backup, -1);
    if (_sqlite3_backup_finish(backup) !== SQLITE_OK) throw sqliteError(db.db);
  } finally {
    _free(main);
    source.close();
  }
}

// Replaces the contents of the database with the database in bytes, in
// one transaction. For a durable database, in its turn: copies open in
// other tabs and workers see the new contents at their next turn.
Database.prototype.replace = function (bytes) {
  this.checkOpen();
  copyInto(this, bytes);
};

// Replaces what is stored durably under name with the database in bytes
// (a file the user picked, a fetched .sqlite), waiting for the name's
// turn.
Database.importDurable = function (name, bytes) {
  return Database.openDurable(name).then(function (db) {
    return db.use(function () { db.replace(bytes); }).then(function () {
      db.close();
    }, function (error) {
      db.close();
      throw error;
    });
  });
};

Database.prototype.hold = function () {
  if (!this.turn) return Promise.resolve();
  if (this.db === 0) return Promise.reject(new Error('Database closed'));
  return this.turn.hold();
};

// Gives the turn back, if the database holds it and no transaction or
// statement is open; returns whether it did.
Database.prototype.releaseIfIdle = function () {
  if (!this.turn || !this.turn.held || this.turn.busy()) return false;
  this.turn.release();
  return true;
};

Database.prototype.release = function () {
  if (!this.turn || !this.turn.held) return;
  if (this.turn.busy()) {
    var error = new Error('"' + this.storageName + '" cannot be released inside a transaction ' +
      'or while a statement is stepping: COMMIT or ROLLBACK, and free or reset statements first');
    error.code = 'SQLITE_BUSY';
    throw error;
  }
  this.turn.release();
};

// Runs work(db) while holding db, and releases it after, whether work
// returns, throws, or returns a promise. A transaction work leaves open is
// rolled back, and that is an error.
Database.prototype.use = function (work) {
  var database = this;
  return this.hold().then(function () {
    return work(database);
  }).then(function (result) {
    database.endTurn(true);
    return result;
  }, function (error) {
    database.endTurn(false);
    throw error;
  });
};

Database.prototype.endTurn = function (finished) {
  if (!this.turn || !this.turn.held || this.db === 0) return;
  if (this.turn.busy()) {
    this.statements.forEach(function (statement) {
      if (statement.ptr !== 0) _sqlite3_reset(statement.ptr);
    });
    if (!_sqlite3_get_autocommit(this.db)) {
      try { this.exec('ROLLBACK'); } catch (e) { /* SQLite rolled back already */ }
      this.turn.release();
      if (finished) {
        var error = new Error('a transaction was still open at the end of db.use() on "' +
          this.storageName + '", and was rolled back: end it with COMMIT inside the callback');
        error.code = 'SQLITE_ABORT';
        throw error;
      }
      return;
    }
  }
  this.turn.release();
};
