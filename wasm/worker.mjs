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
// are thrown in the page (SAVE_CONFLICT too); isSqliteError,
// isSaveConflict and isStorageError tell them apart without loading the
// module in the page. Values cross by structured clone: numbers keep
// every bit, BigInts stay BigInts, blobs are Uint8Arrays.
//
// The worker script may await things before it calls serve(): the page
// sends nothing but a knock until serve() answers it, so no call is lost.
import initSqliteGeodesy from './index.browser.mjs';

// The worker side: answers { id, method, db, args } with { id, result } or
// { id, error }, one call at a time, in order.
export function serve(options) {
  const ready = initSqliteGeodesy(options);
  const databases = new Map();  // handle -> Database
  const durable = new Map();    // name -> { db, handles }: one connection per name here
  let next = 1;
  const database = (handle) => {
    const db = databases.get(handle);
    if (!db) throw new Error('this database was closed');
    return db;
  };
  // A durable database takes its turn for each call, and keeps it while
  // a transaction stays open between calls.
  const inTurn = async (handle, work) => {
    const db = database(handle);
    if (!db.turn) return work(db);
    await db.hold();
    try {
      return work(db);
    } finally {
      db.releaseIfIdle();
    }
  };
  const openDurable = async (api, name, openOptions) => {
    let shared = durable.get(name);
    if (!shared) {
      shared = { db: api.Database.openDurable(name, openOptions), handles: 0 };
      durable.set(name, shared);
      shared.db.catch(() => durable.delete(name));
    }
    const db = await shared.db;
    shared.handles++;
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
      const snapshot = Boolean(openOptions && openOptions.snapshot);
      const db = typeof source !== 'string'
        ? new api.Database(source === undefined ? null : source, openOptions)
        : !snapshot && api.durable() ? await openDurable(api, source, openOptions)
        : await api.Database.open(source, openOptions);
      const handle = next++;
      databases.set(handle, db);
      return { handle, stored: db.stored };
    },
    exec: (api, handle, sql, params) => inTurn(handle, (db) => db.exec(sql, params)),
    all: (api, handle, sql, params) => inTurn(handle, (db) => rows(db, sql, params, Infinity)),
    get: (api, handle, sql, params) => inTurn(handle, (db) => rows(db, sql, params, 1)[0]),
    run: (api, handle, sql, params) => inTurn(handle, (db) => {
      db.run(sql, params);
      return { changes: db.getRowsModified() };
    }),
    export: (api, handle) => inTurn(handle, (db) => db.export()),
    async save(api, handle) {
      const db = database(handle);
      if (!db.turn) await db.save();  // a durable database is on disk at every COMMIT
      return db.stored;
    },
    async close(api, handle) {
      const db = database(handle);
      databases.delete(handle);
      const shared = db.turn && durable.get(db.storageName);
      if (shared && --shared.handles > 0) return;
      if (shared) durable.delete(db.storageName);
      if (db.turn && db.turn.busy()) await db.hold();  // rolling back needs the files
      db.close();
    },
    remove(api, _, name) {
      // A connection open here could hold the name's turn, which the
      // remove would wait for behind it.
      if (durable.has(name)) throw new Error(`close "${name}" in this worker before removing it`);
      return api.Database.remove(name);
    },
    async import(api, _, name, bytes, importOptions) {
      const snapshot = Boolean(importOptions && importOptions.snapshot);
      if (snapshot || !api.durable()) return api.Database.import(name, bytes);
      // A connection this worker has open takes the import in its own
      // turn: a second one would wait for that turn.
      const shared = durable.get(name);
      if (!shared) return api.Database.importDurable(name, bytes);
      const db = await shared.db;
      await db.hold();
      try {
        db.replace(bytes);
      } finally {
        db.releaseIfIdle();
      }
      return undefined;
    },
    storage: (api) => api.storage(),
    durable: (api) => api.durable(),
    sqliteVersion: (api) => api.sqliteVersion,
  };
  // The page's knock, answered before the module has loaded.
  const knock = 'sqlite-geodesy-wasm:knock';
  let queue = Promise.resolve();
  self.addEventListener('message', (event) => {
    const { id, method, db, args } = event.data || {};
    if (typeof id === 'number' && method === knock) {
      self.postMessage({ id, result: true });
      return;
    }
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

// Whether error is one that SQLite reported (with code and errno).
export function isSqliteError(error) {
  return error instanceof Error && typeof error.code === 'string' && /^SQLITE_/.test(error.code) &&
    typeof error.errno === 'number';
}

// Whether error is a save refused because another tab or worker saved since.
export function isSaveConflict(error) {
  return error instanceof Error && error.code === 'SAVE_CONFLICT';
}

// Whether error is the browser's storage refusing a save: full, or blocked.
export function isStorageError(error) {
  return error instanceof Error && (error.code === 'STORAGE_FULL' || error.code === 'STORAGE_BLOCKED');
}

// The page side: a client for a worker that called serve(). options.url,
// the worker script's URL, is named if the worker cannot load (the
// browser does not say which script failed, nor why); options.readyMs is
// how long to wait for the worker's serve() (30 s).
export function connect(worker, options = {}) {
  const pending = new Map();
  const waiting = [];  // calls made before serve() answered
  let next = 1;
  let failure = null;
  let served = false;
  const script = options.url ? ` (${options.url})` : '';
  const fail = (error) => {
    failure = error;
    for (const { reject } of pending.values()) reject(error);
    pending.clear();
    for (const { reject } of waiting.splice(0)) reject(error);
    clearInterval(knocking);
    clearTimeout(giveUp);
  };
  worker.addEventListener('message', (event) => {
    const { id, result, error } = event.data || {};
    if (!served && id === 0 && result === true) {
      served = true;
      clearInterval(knocking);
      clearTimeout(giveUp);
      for (const call of waiting.splice(0)) send(call);
      return;
    }
    const call = pending.get(id);
    if (!call) return;
    pending.delete(id);
    if (error) call.reject(revive(error));
    else call.resolve(result);
  });
  worker.addEventListener('error', (event) => {
    event.preventDefault();
    fail(new Error(event.message ? `the database worker${script} failed: ${event.message}`
      : `the database worker${script} could not be loaded: check that the script's URL serves ` +
        'JavaScript and that the worker was made with { type: \'module\' }'));
  });
  // Messages sent before the worker listens are lost: knock (id 0) until
  // serve() answers, and keep the calls till then.
  const knock = () => worker.postMessage({ id: 0, method: 'sqlite-geodesy-wasm:knock' });
  const knocking = setInterval(knock, 50);
  const readyMs = options.readyMs === undefined ? 30000 : options.readyMs;
  const giveUp = setTimeout(() => fail(new Error(`the database worker${script} has not called serve() ` +
    `after ${readyMs / 1000} s: call serve() in the worker script`)), readyMs);
  knock();
  const send = ({ id, method, db, args, resolve, reject }) => {
    pending.set(id, { resolve, reject });
    worker.postMessage({ id, method, db, args });
  };
  const call = (method, db, ...args) => {
    if (failure) return Promise.reject(failure);
    const id = next++;
    return new Promise((resolve, reject) => {
      if (served) send({ id, method, db, args, resolve, reject });
      else waiting.push({ id, method, db, args, resolve, reject });
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
    import: (name, bytes, options) => call('import', 0, name, bytes, options),
    storage: () => call('storage', 0),
    durable: () => call('durable', 0),
    sqliteVersion: () => call('sqliteVersion', 0),
    terminate() {
      worker.terminate();
      fail(new Error('the database worker was terminated'));
    },
  };
}
