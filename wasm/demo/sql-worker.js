// SPDX-License-Identifier: MIT
// The demo's SQL box runs here, so that a long query never blocks the page.
// Receives {id, sql}; answers {id, results} or {id, error}.
importScripts('sqlite-geodesy.js');

const ready = initSqliteGeodesy().then(({ Database }) => new Database());

self.onmessage = (event) => {
  const { id, sql } = event.data;
  ready.then((db) => {
    try {
      self.postMessage({ id, results: db.exec(sql) });
    } catch (error) {
      self.postMessage({ id, error: error.message });
    }
  }, (error) => self.postMessage({ id, error: `the module did not load: ${error}` }));
};
