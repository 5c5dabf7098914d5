// SPDX-License-Identifier: MIT
// Databases that live in a Web Worker, so that a long query or a large
// import never blocks the page: every call from the page is a promise.
// The worker side is one call in a module Worker of your own:
//
//   // db-worker.js
//   import { serve } from 'sqlite-geodesy-wasm/worker';
//   serve();
//
// and the page talks to it:
//
//   import { connect } from 'sqlite-geodesy-wasm/worker';
//   const sqlite = connect(new Worker(new URL('./db-worker.js', import.meta.url), { type: 'module' }));
//   const db = await sqlite.open('places.db');       // saved in the browser, as Database.open
//   const rows = await db.all('SELECT name FROM place WHERE distance(lat, lon, ?, ?) < ?', [48.8, 2.3, 1e5]);
//   await db.save();
//
// Errors arrive as Errors with SQLite's message, code and errno, as they
// are thrown in the page (SAVE_CONFLICT too). Values cross by structured
// clone: numbers keep every bit, BigInts stay BigInts, blobs are
// Uint8Arrays.
import initSqliteGeodesy from './index.browser.mjs';

// The worker side: answers { id, method, db, args } with { id, result } or
// { id, error }, one call at a time, in order.
export function serve(options) {
  const ready = initSqliteGeodesy(options);
  const databases = new Map();
  let next = 1;
  const database = (handle) => {
    const db = databases.get(handle);
    if (!db) throw new Error('this database was closed');
    return db;
  };
  const rows = (db, sql, params, limit) => {
    const statement = db.prepare(sql, params);
    try {
      const out = [];
      while (out.length < limit && statement.step()) out.push(statement.getAsObject());
      return out;
    } finally {
      statement.free();
    }
  };
  const methods = {
    async open(api, _, source, openOptions) {
      const db = typeof source === 'string' ? await api.Database.open(source, openOptions)
        : new api.Database(source === undefined ? null : source, openOptions);
      const handle = next++;
      databases.set(handle, db);
      return { handle, stored: db.stored };
    },
    exec: (api, handle, sql, params) => database(handle).exec(sql, params),
    all: (api, handle, sql, params) => rows(database(handle), sql, params, Infinity),
    get: (api, handle, sql, params) => rows(database(handle), sql, params, 1)[0],
    run(api, handle, sql, params) {
      const db = database(handle);
      db.run(sql, params);
      return { changes: db.getRowsModified() };
    },
    export: (api, handle) => database(handle).export(),
    async save(api, handle) {
      const db = database(handle);
      await db.save();
      return db.stored;
    },
    close(api, handle) {
      database(handle).close();
      databases.delete(handle);
    },
    remove: (api, _, name) => api.Database.remove(name),
    storage: (api) => api.storage(),
    sqliteVersion: (api) => api.sqliteVersion,
  };
  let queue = Promise.resolve();
  self.addEventListener('message', (event) => {
    const { id, method, db, args } = event.data || {};
    if (typeof id !== 'number' || !(method in methods)) return;  // not ours
    queue = queue.then(async () => {
      try {
        const api = await ready;
        const result = await methods[method](api, db, ...(args || []));
        self.postMessage({ id, result }, result instanceof Uint8Array ? [result.buffer] : []);
      } catch (error) {
        self.postMessage({ id, error: describe(error) });
      }
    });
  });
}

function describe(error) {
  if (!(error instanceof Error)) return { message: String(error) };
  const out = { message: error.message, name: error.name };
  if (error.code !== undefined) out.code = error.code;
  if (error.errno !== undefined) out.errno = error.errno;
  return out;
}

function revive(description) {
  const error = new Error(description.message);
  if (description.name && description.name !== 'Error') error.name = description.name;
  if (description.code !== undefined) error.code = description.code;
  if (description.errno !== undefined) error.errno = description.errno;
  return error;
}

// The page side: a client for a worker that called serve().
export function connect(worker) {
  const pending = new Map();
  let next = 1;
  let failure = null;
  const fail = (error) => {
    failure = error;
    for (const { reject } of pending.values()) reject(error);
    pending.clear();
  };
  worker.addEventListener('message', (event) => {
    const { id, result, error } = event.data || {};
    const call = pending.get(id);
    if (!call) return;
    pending.delete(id);
    if (error) call.reject(revive(error));
    else call.resolve(result);
  });
  worker.addEventListener('error', (event) => {
    event.preventDefault();
    fail(new Error(`the database worker failed: ${event.message || 'it could not be loaded'}`));
  });
  const call = (method, db, ...args) => {
    if (failure) return Promise.reject(failure);
    const id = next++;
    return new Promise((resolve, reject) => {
      pending.set(id, { resolve, reject });
      worker.postMessage({ id, method, db, args });
    });
  };

  class WorkerDatabase {
    constructor(handle, stored) {
      this.handle = handle;
      this.stored = stored;
    }
    exec(sql, params) { return call('exec', this.handle, sql, params); }
    all(sql, params) { return call('all', this.handle, sql, params); }
    get(sql, params) { return call('get', this.handle, sql, params); }
    run(sql, params) { return call('run', this.handle, sql, params); }
    export() { return call('export', this.handle); }
    async save() { this.stored = await call('save', this.handle); }
    close() { return call('close', this.handle); }
  }

  return {
    async open(source, options) {
      const { handle, stored } = await call('open', 0, source, options);
      return new WorkerDatabase(handle, stored);
    },
    remove: (name) => call('remove', 0, name),
    storage: () => call('storage', 0),
    sqliteVersion: () => call('sqliteVersion', 0),
    terminate() {
      worker.terminate();
      fail(new Error('the database worker was terminated'));
    },
  };
}
