// SPDX-License-Identifier: MIT
// The module Worker of the bundled app: the same package, in a worker.
import initSqliteGeodesy from 'sqlite-geodesy-wasm';

initSqliteGeodesy().then(({ Database }) => {
  const db = new Database();
  self.postMessage(db.exec('SELECT project_lat(0, 0, 90, 1e6), project_lon(0, 0, 90, 1e6)')[0].values[0]);
}, (error) => self.postMessage(`error: ${error.message}`));
