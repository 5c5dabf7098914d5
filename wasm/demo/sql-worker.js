// SPDX-License-Identifier: MIT
// The demo's SQL box runs here, so that a long query never blocks the page,
// on a database saved in the browser after each query (Database.open and
// save), so that the user's tables survive a reload. Receives {id, sql} or
// {id, forget: true}; answers {id, results} or {id, error}, one message at
// a time, in order.
importScripts('sqlite-geodesy.js');

const NAME = 'demo.db';
let sqlite = null;
let db = null;
let saved = true;  // false when this browser keeps nothing: then the tables last as long as the page

async function open() {
  sqlite = sqlite || await initSqliteGeodesy();
  try {
    db = await sqlite.Database.open(NAME);
  } catch (error) {
    db = new sqlite.Database();
    saved = false;
  }
}

async function handle({ id, sql, forget }) {
  try {
    if (db === null) await open();
    if (forget) {
      db.close();
      if (saved) await sqlite.Database.remove(NAME);
      await open();
      self.postMessage({ id, results: [] });
      return;
    }
    let results;
    let failure;
    try {
      results = db.exec(sql);
    } catch (error) {
      failure = error;  // statements before the one that failed have run: keep them too
    }
    if (saved) {
      try {
        await db.save();
      } catch (error) {
        if (error.code !== 'SAVE_CONFLICT') throw error;
        // Another tab saved its tables after this one read them: keep
        // theirs, and go on from them.
        db.close();
        await open();
        throw new Error('Not saved: another tab of this page saved its tables after this tab read ' +
                        'them. This tab now has that tab\'s tables; run your statement again.');
      }
    }
    self.postMessage(failure ? { id, error: failure.message } : { id, results });
  } catch (error) {
    self.postMessage({ id, error: db === null ? `the module did not load: ${error.message}` : error.message });
  }
}

let queue = Promise.resolve();
self.onmessage = (event) => {
  queue = queue.then(() => handle(event.data));
};
