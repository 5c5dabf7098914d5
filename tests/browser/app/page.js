// SPDX-License-Identifier: MIT
// A small app as a user writes it, bundled for the browser by esbuild or
// Rollup (apps_test.js): the package's ES module entry in a page, in a
// module Worker (worker.js), and a database kept across reloads.
// It reports on window.report for the test to read.
import initSqliteGeodesy from 'sqlite-geodesy-wasm';
import { connect } from 'sqlite-geodesy-wasm/worker';

const report = {};
window.report = report;

async function main() {
  // #missing asks for a .wasm that is not there, #html for a page in its
  // place (as a single-page app's fallback serves), to see the errors.
  const wrong = { '#missing': 'missing.wasm', '#html': 'index.html' }[location.hash];
  const options = wrong ? { locateFile: () => wrong } : {};
  const { Database, storage } = await initSqliteGeodesy(options);
  if (location.hash === '#measure') return measureSaves(Database);
  if (location.hash === '#tabs') return tabs(Database);
  if (location.hash === '#worker-api') return workerApi();
  const db = new Database();
  report.page = db.exec('SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)')[0].values[0];
  db.close();

  // Each load adds a row to a saved database and reports how many there are.
  const saved = await Database.open('visits.db');
  saved.run('CREATE TABLE IF NOT EXISTS visit(at TEXT)');
  saved.run("INSERT INTO visit VALUES (datetime('now'))");
  await saved.save();
  report.visits = saved.exec('SELECT count(*) FROM visit')[0].values[0][0];
  report.storage = await storage();
  saved.close();

  const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  report.worker = await new Promise((resolve) => { worker.onmessage = (event) => resolve(event.data); });
}

// For the test of several tabs and a worker on one saved database: the
// test drives Database from each tab, and saveInWorker(name) has a module
// Worker open name, add a row and save.
function tabs(Database) {
  window.geodesy = { Database };
  window.saveInWorker = (name, withoutOpfs) => new Promise((resolve) => {
    const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
    worker.onmessage = (event) => {
      if (typeof event.data === 'object' && 'saved' in event.data) {
        worker.terminate();
        resolve(event.data.saved);
      }
    };
    worker.postMessage({ name, withoutOpfs });
  });
}

// The package's worker API: a database in the module Worker, every call a
// promise, SQLite's errors with their codes.
async function workerApi() {
  const started = performance.now();
  const sqlite = connect(new Worker(new URL('./worker.js', import.meta.url), { type: 'module' }));
  const db = await sqlite.open();
  await db.run('CREATE TABLE p(name TEXT, lat REAL, lon REAL)');
  report.changes = (await db.run('INSERT INTO p VALUES (?, ?, ?), (?, ?, ?)', ['a', 0, 0, 'b', 0, 1])).changes;
  report.rows = await db.all('SELECT name, distance(0, 0, lat, lon) AS m FROM p ORDER BY m');
  report.one = await db.get('SELECT project_lat(0, 0, 90, 1e6) AS lat, project_lon(0, 0, 90, 1e6) AS lon');
  report.sqlError = await db.run('INSERT INTO nosuch VALUES (1)').then(() => null, (e) => [e.code, e.errno, e.message]);
  report.exported = (await db.export()).length;
  const saved = await sqlite.open('worker-api.db');
  await saved.run('CREATE TABLE IF NOT EXISTS t(x)');
  await saved.save();
  report.stored = saved.stored;
  await db.close();
  report.closed = await db.get('SELECT 1').then(() => null, (e) => e.message);
  report.ms = performance.now() - started;
}

// What save() costs: it writes the whole file each time; and what an
// import of 50 000 rows through one prepared statement costs here.
async function measureSaves(Database) {
  const rows = Array.from({ length: 50000 }, (_, i) =>
    [`place ${i}`, (i * 7919 % 17999) / 100 - 90, (i * 104729 % 35999) / 100 - 180, i]);
  report.insertMs = Infinity;
  for (let run = 0; run < 5; run++) {
    const db = new Database();
    db.run('CREATE TABLE p(name TEXT, lat REAL, lon REAL, n INTEGER)');
    const start = performance.now();
    db.run('BEGIN');
    const insert = db.prepare('INSERT INTO p VALUES (?, ?, ?, ?)');
    for (const row of rows) insert.run(row);
    insert.free();
    db.run('COMMIT');
    const ms = performance.now() - start;
    if (run === 0) report.firstInsertMs = ms;
    report.insertMs = Math.min(report.insertMs, ms);
    db.close();
  }
  report.saves = {};
  for (const megabytes of [10, 100]) {
    const db = await Database.open(`size-${megabytes}.db`);
    db.run('CREATE TABLE filler(b BLOB)');
    db.run('WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ' +
           'INSERT INTO filler SELECT randomblob(1048576) FROM n', [megabytes]);
    const times = [];
    for (let i = 0; i < 3; i++) {
      const start = performance.now();
      await db.save();
      times.push(performance.now() - start);
    }
    report.saves[megabytes] = Math.min(...times);
    db.close();
    await Database.remove(`size-${megabytes}.db`);
  }
}

main().then(() => { report.done = true; }, (error) => { report.error = error.message; });
