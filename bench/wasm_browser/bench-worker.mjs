// SPDX-License-Identifier: MIT
// Writes timed inside a dedicated worker, one phase per page load:
// 'insert', the prepared 50,000-row insert in memory; 'durable' and
// 'snapshot', a database of about targetMB stored page by page or as a
// whole file per save, each timed for its open, a one-row COMMIT (and
// save) and a 50,000-row COMMIT (and save).
import initSqliteGeodesy from './index.browser.mjs';

let RUNS = 5;  // or the page's ?runs=
const N = 50000;
const rows = Array.from({ length: N }, (_, i) =>
  [`place ${i}`, (i * 7919 % 17999) / 100 - 90, (i * 104729 % 35999) / 100 - 180, i]);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function timed(runs, work) {
  const times = [];
  for (let i = 0; i < runs; i++) {
    const start = performance.now();
    await work(i);
    times.push(performance.now() - start);
  }
  return { median: median(times), best: Math.min(...times) };
}

function insertRows(db, from) {
  const insert = db.prepare('INSERT INTO p VALUES (?, ?, ?, ?)');
  for (const row of rows) insert.run([row[0], row[1], row[2], row[3] + from]);
  insert.free();
}

// Fills p with about targetMB of rows, in transactions of 100,000.
function fill(db, targetMB) {
  db.exec('CREATE TABLE IF NOT EXISTS p(name TEXT, lat REAL, lon REAL, n INTEGER); ' +
    'CREATE TABLE IF NOT EXISTS pad(b BLOB)');
  const blocks = Math.ceil(targetMB * 1024 * 1024 / (1000 * 100000 * 1.1));
  for (let i = 0; i < blocks; i++) {
    db.exec('BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) ' +
      'INSERT INTO pad SELECT randomblob(1000) FROM n; COMMIT');
  }
}

const sizeMB = (db) => db.exec('SELECT page_count * page_size / 1048576.0 FROM pragma_page_count, pragma_page_size')[0].values[0][0];

self.onmessage = async (event) => {
  try {
    const targetMB = Number(event.data.targetMB || 100);
    RUNS = Number(event.data.runs || 5);
    const { Database, durable } = await initSqliteGeodesy();
    const figures = {};
    const phase = event.data.phase;
    // The prepared insert, in memory.
    if (phase === 'insert') figures.insert = await timed(RUNS, () => {
      const db = new Database();
      db.run('CREATE TABLE p(name TEXT, lat REAL, lon REAL, n INTEGER)');
      db.run('BEGIN');
      insertRows(db, 0);
      db.run('COMMIT');
      db.close();
    });
    if (phase === 'durable' && durable()) {
      await Database.remove('bench-durable.db');
      const db = await Database.openDurable('bench-durable.db');
      await db.use(() => fill(db, targetMB));
      figures.durableMB = await db.use(() => sizeMB(db));
      db.close();
      let opened;
      figures.durableOpen = await timed(RUNS, async () => {
        if (opened) opened.close();
        opened = await Database.openDurable('bench-durable.db');
        await opened.use(() => opened.exec('SELECT count(*) FROM sqlite_schema'));
      });
      let n = 0;
      figures.durableOneRow = await timed(20, () => opened.use(() => {
        opened.run('INSERT INTO p VALUES (?, ?, ?, ?)', ['one', 1, 2, n++]);
      }));
      figures.durableBatch = await timed(RUNS, (i) => opened.use(() => {
        opened.run('BEGIN');
        insertRows(opened, (i + 1) * N);
        opened.run('COMMIT');
      }));
      opened.close();
      await Database.remove('bench-durable.db');
    }
    // The snapshot of the same size: opened whole, saved whole.
    if (phase === 'snapshot') {
      await Database.remove('bench-snapshot.db');
      const db = await Database.open('bench-snapshot.db');
      fill(db, targetMB);
      await db.save();
      figures.snapshotMB = sizeMB(db);
      db.close();
      let opened;
      figures.snapshotOpen = await timed(RUNS, async () => {
        if (opened) opened.close();
        opened = await Database.open('bench-snapshot.db');
      });
      let n = 0;
      figures.snapshotOneRow = await timed(RUNS, async () => {
        opened.run('INSERT INTO p VALUES (?, ?, ?, ?)', ['one', 1, 2, n++]);
        await opened.save();
      });
      figures.snapshotBatch = await timed(RUNS, async (i) => {
        opened.run('BEGIN');
        insertRows(opened, (i + 1) * N);
        opened.run('COMMIT');
        await opened.save();
      });
      opened.close();
      await Database.remove('bench-snapshot.db');
    }
    self.postMessage(figures);
  } catch (error) {
    self.postMessage({ error: String(error && error.stack || error) });
  }
};
