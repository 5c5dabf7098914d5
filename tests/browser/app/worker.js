// SPDX-License-Identifier: MIT
// The module Worker of the bundled app: the same package, in a worker. It
// serves the package's worker API to the page, gives the page the bits of
// two functions, and, asked with a database's name, adds a row to what is
// saved there and saves it.
import initSqliteGeodesy from 'sqlite-geodesy-wasm';
import { serve } from 'sqlite-geodesy-wasm/worker';

serve();

const ready = initSqliteGeodesy();
ready.then(({ Database }) => {
  const db = new Database();
  self.postMessage(db.exec('SELECT project_lat(0, 0, 90, 1e6), project_lon(0, 0, 90, 1e6)')[0].values[0]);
}, (error) => self.postMessage(`error: ${error.message}`));

self.addEventListener('message', async ({ data }) => {
  if (!data || typeof data.name !== 'string' || 'method' in data) return;  // the worker API's calls
  const { name, withoutOpfs } = data;
  // The test's page has no writable OPFS files; neither has this worker then.
  if (withoutOpfs) delete FileSystemFileHandle.prototype.createWritable;
  const { Database } = await ready;
  const db = await Database.open(name);
  db.run('CREATE TABLE IF NOT EXISTS t(who TEXT)');
  db.run("INSERT INTO t VALUES ('worker')");
  const saved = await db.save().then(() => 'saved', (error) => error.code || error.message);
  db.close();
  self.postMessage({ saved });
});
