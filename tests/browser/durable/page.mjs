// SPDX-License-Identifier: MIT
// What durable_test.js drives in each tab: the package's worker API on a
// worker of this tab, with steps the test calls by name.
import { connect } from './worker.mjs';

const start = () => connect(new Worker(new URL('db-worker.mjs', import.meta.url), { type: 'module' }));
let sqlite = start();
let db = null;

const BATCH = 20000;  // 20,000 rows of 200 bytes: more than SQLite's page cache, so pages spill mid-transaction

window.steps = {
  async open(name, options) {
    db = await sqlite.open(name, options);
    return db.stored;
  },
  all: (sql, params) => db.all(sql, params),
  // The outcome of a call as text, for calls expected to fail.
  tryRun: (sql, params) => db.run(sql, params).then(() => 'ok', (error) => `${error.code}: ${error.message}`),
  run: (sql, params) => db.run(sql, params),
  exec: (sql, params) => db.exec(sql, params),
  async close() {
    await db.close();
    db = null;
  },
  storage: () => sqlite.storage(),
  durable: () => sqlite.durable(),
  remove: (name) => sqlite.remove(name),
  async importBytes(name, bytes) {
    await sqlite.import(name, new Uint8Array(bytes));
  },
  async exportBytes() {
    return Array.from(await db.export());
  },
  // Commits batches of BATCH rows until the worker is terminated after
  // killMs; resolves to the rows whose COMMIT was acknowledged.
  async writeUntilKilled(name, killMs) {
    db = await sqlite.open(name);
    await db.exec('CREATE TABLE IF NOT EXISTS t(batch INTEGER, round INTEGER, payload BLOB); ' +
      'CREATE INDEX IF NOT EXISTS t_batch ON t(batch)');
    let acknowledged = (await db.get('SELECT count(*) AS n FROM t')).n;
    window.acknowledged = acknowledged;
    const killed = new Promise((resolve) => setTimeout(resolve, killMs)).then(() => {
      sqlite.terminate();
      return 'killed';
    });
    for (;;) {
      const batch = acknowledged / BATCH;
      // Each transaction rewrites the batch before it, so that the journal
      // holds pages for most of it, and adds one.
      const committed = db.exec('BEGIN; ' +
        `UPDATE t SET round = round + 1, payload = randomblob(200) WHERE batch = ${batch - 1}; ` +
        'WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ' +
        `INSERT INTO t SELECT ${batch}, 0, randomblob(200) FROM n; COMMIT`, [BATCH]);
      if (await Promise.race([committed.then(() => 'ok', () => 'killed'), killed]) === 'killed') break;
      acknowledged += BATCH;
      window.acknowledged = acknowledged;
    }
    sqlite = start();
    db = null;
    return acknowledged;
  },
  // Tabs and workers taking turns: rounds of a read and a write in one
  // transaction, each adding one to the counter and logging who did it.
  async increment(name, who, rounds) {
    for (let i = 0; i < rounds; i++) {
      await db.exec('BEGIN IMMEDIATE');
      const { n } = await db.get('SELECT n FROM counter');
      await db.run('UPDATE counter SET n = ?', [n + 1]);
      await db.run('INSERT INTO log(who, seen) VALUES (?, ?)', [who, n]);
      await db.exec('COMMIT');
    }
  },
};
window.ready = true;
