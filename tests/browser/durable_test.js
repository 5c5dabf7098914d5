#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Durable databases, as tabs use them through the worker API, in headless
// Chromium and Firefox (make browser-test):
//
//   node durable_test.js PACKAGE_FOLDER [chromium|firefox ...]
//
// Workers terminated and tabs closed in the middle of a transaction must
// leave the last committed state; tabs that write one name at once, one
// of them reloaded mid-write, must take turns without losing an update;
// a second tab must read what the first committed; import, export, remove
// and a snapshot saved before must keep every row. In Chromium, a tab
// frozen between calls must hold nothing, and one frozen inside a
// transaction must make the others fail after their wait, not hang.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { WAIT_MS, check, serve, run } = require('./harness');

const packageFolder = path.resolve(process.argv[2]);
const kinds = process.argv.length > 3 ? process.argv.slice(3) : ['chromium', 'firefox'];
const BATCH = 20000;

async function tab(browser, url) {
  const page = await browser.newPage();
  page.setDefaultTimeout(WAIT_MS);
  await page.goto(url);
  await page.waitForFunction(() => window.ready === true);
  return page;
}

const step = (page, name, ...args) =>
  page.evaluate((n, a) => window.steps[n](...a), name, args);

// What a fresh tab finds under name: integrity, rows, and whether every
// batch is whole.
async function inspect(browser, url, name) {
  const page = await tab(browser, url);
  // A journal with something in it is a transaction cut short, which the
  // open below must roll back.
  const journal = await page.evaluate(async (file) => {
    const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('sqlite-geodesy');
    return (await (await folder.getFileHandle(file)).getFile()).size;
  }, `${name}-journal`);
  await step(page, 'open', name);
  const [{ integrity_check: integrity }] = await step(page, 'all', 'PRAGMA integrity_check');
  const [{ rows, partial }] = await step(page, 'all',
    'SELECT count(*) AS rows, (SELECT count(*) FROM (SELECT batch FROM t GROUP BY batch ' +
    'HAVING count(*) <> ? OR count(DISTINCT round) <> 1)) AS partial FROM t', [BATCH]);
  await page.close();
  return { integrity, rows, partial, journal };
}

run('durable databases', 600000, async (browser, kind) => {
  const site = fs.mkdtempSync(path.join(os.tmpdir(), 'geodesy-durable-'));
  fs.cpSync(packageFolder, site, { recursive: true });
  fs.cpSync(path.join(__dirname, 'durable'), site, { recursive: true });
  const server = await serve(site);
  const url = server.url;
  try {
    const first = await tab(browser, url);
    check(`${kind}: a dedicated worker stores durably`, await step(first, 'durable') === true, 'no');
    const stored = await step(first, 'open', 'places.db');
    check(`${kind}: open(name) says the database is durable`, stored.durable === true, JSON.stringify(stored));
    await step(first, 'exec', 'CREATE TABLE place(name TEXT, lat REAL, lon REAL); ' +
      "INSERT INTO place VALUES ('Paris', 48.8566, 2.3522), ('Tokyo', 35.6762, 139.6503)");
    const second = await tab(browser, url);
    await step(second, 'open', 'places.db');
    const seen = await step(second, 'all', 'SELECT distance(p.lat, p.lon, q.lat, q.lon) AS m ' +
      "FROM place p, place q WHERE p.name = 'Paris' AND q.name = 'Tokyo'");
    check(`${kind}: a second tab reads what the first committed, functions and all`,
          seen.length === 1 && seen[0].m > 9.7e6 && seen[0].m < 9.8e6, JSON.stringify(seen));
    await step(second, 'run', "INSERT INTO place VALUES ('Lima', -12.0464, -77.0428)");
    const back = await step(first, 'all', 'SELECT count(*) AS n FROM place');
    check(`${kind}: and the first reads the second's write`, back[0].n === 3, JSON.stringify(back));
    const mode = await step(first, 'all', 'PRAGMA journal_mode');
    check(`${kind}: SQLite keeps its rollback journal`, mode[0].journal_mode === 'delete', JSON.stringify(mode));

    // Export, import under another name, and bytes that are no database.
    const bytes = await step(first, 'exportBytes');
    await step(first, 'importBytes', 'copy.db', bytes);
    await step(second, 'close');
    await step(second, 'open', 'copy.db');
    const copied = await step(second, 'all', 'SELECT group_concat(name) AS names FROM place');
    check(`${kind}: a database exported and imported under a new name keeps its rows`,
          copied[0].names === 'Paris,Tokyo,Lima', JSON.stringify(copied));
    const refused = await first.evaluate(() => window.steps.importBytes('copy.db', [1, 2, 3]).then(() => 'stored', (e) => e.message));
    const still = await step(second, 'all', 'SELECT count(*) AS n FROM place');
    check(`${kind}: bytes that are not a database are refused, and what was stored stays`,
          /not a database/.test(refused) && still[0].n === 3, `${refused}; ${JSON.stringify(still)}`);
    await step(second, 'close');
    await step(first, 'remove', 'copy.db');
    await step(second, 'open', 'copy.db');
    const gone = await step(second, 'all', "SELECT count(*) AS n FROM sqlite_schema");
    check(`${kind}: a removed name opens empty`, gone[0].n === 0, JSON.stringify(gone));
    await step(first, 'close');
    await Promise.all([first.close(), second.close()]);

    // A snapshot saved before the name was opened durably is its start.
    const old = await tab(browser, url);
    await old.evaluate(async () => {
      const { connect } = await import('./worker.mjs');
      const sqlite = connect(new Worker(new URL('db-worker.mjs', location.href), { type: 'module' }));
      const db = await sqlite.open('old.db', { snapshot: true });
      await db.exec("CREATE TABLE kept(x); INSERT INTO kept VALUES ('saved before')");
      await db.save();
      sqlite.terminate();
    });
    await step(old, 'open', 'old.db');
    const kept = await step(old, 'all', 'SELECT x FROM kept');
    check(`${kind}: a snapshot saved before becomes the durable database's contents`,
          kept.length === 1 && kept[0].x === 'saved before', JSON.stringify(kept));
    await old.close();

    // Workers terminated mid-transaction, at random moments.
    let journals = 0;
    for (let round = 0; round < 3; round++) {
      const writer = await tab(browser, url);
      const killMs = 300 + Math.floor(Math.random() * 1500);
      const acknowledged = await step(writer, 'writeUntilKilled', 'kill.db', killMs);
      await writer.close();
      const found = await inspect(browser, url, 'kill.db');
      check(`${kind}: worker terminated ${killMs} ms into its writes: integrity ok, ${acknowledged} acknowledged rows kept, no batch in part or half rewritten`,
            found.integrity === 'ok' && found.partial === 0 &&
            (found.rows === acknowledged || found.rows === acknowledged + BATCH),
            JSON.stringify(found));
      if (found.journal > 0) journals++;
    }
    check(`${kind}: at least one of them left a journal to roll back`, journals > 0, 'none did');
    // A tab closed mid-transaction.
    {
      const writer = await tab(browser, url);
      writer.evaluate(() => window.steps.writeUntilKilled('kill.db', 1e9)).catch(() => {});
      await new Promise((resolve) => setTimeout(resolve, 500 + Math.floor(Math.random() * 1000)));
      const acknowledged = await writer.evaluate(() => window.acknowledged);
      await writer.close();
      const found = await inspect(browser, url, 'kill.db');
      check(`${kind}: a tab closed mid-transaction: integrity ok, every acknowledged row kept, no batch in part or half rewritten`,
            found.integrity === 'ok' && found.partial === 0 && found.rows >= acknowledged,
            `${JSON.stringify(found)} after ${acknowledged}`);
    }

    // Three tabs taking turns on one counter, one of them reloaded mid-way.
    const tabs = await Promise.all([0, 1, 2].map(() => tab(browser, url)));
    await step(tabs[0], 'open', 'turns.db');
    await step(tabs[0], 'exec', 'CREATE TABLE counter(n INTEGER); INSERT INTO counter VALUES (0); ' +
      'CREATE TABLE log(who TEXT, seen INTEGER)');
    await Promise.all(tabs.slice(1).map((page) => step(page, 'open', 'turns.db')));
    const rounds = 15;
    const runs = tabs.map((page, i) => step(page, 'increment', 'turns.db', `tab ${i}`, rounds).then(() => 'done', () => 'cut'));
    await new Promise((resolve) => setTimeout(resolve, 300));
    await tabs[1].reload();
    await tabs[1].waitForFunction(() => window.ready === true);
    await step(tabs[1], 'open', 'turns.db');
    runs.push(step(tabs[1], 'increment', 'turns.db', 'tab 1 reloaded', 5).then(() => 'done', () => 'cut'));
    const outcomes = await Promise.all(runs);
    const [totals] = await step(tabs[2], 'all',
      'SELECT (SELECT n FROM counter) AS n, count(*) AS rows, count(DISTINCT seen) AS distinct_seen, ' +
      'max(seen) AS top FROM log');
    const whole = outcomes[0] === 'done' && outcomes[2] === 'done' && outcomes[3] === 'done';
    check(`${kind}: three tabs, one reloaded mid-write, take turns: no update lost or applied twice`,
          whole && totals.n === totals.rows && totals.distinct_seen === totals.rows &&
          totals.top === totals.rows - 1 && totals.rows >= 2 * rounds + 5,
          `${outcomes.join(',')}; ${JSON.stringify(totals)}`);
    await Promise.all(tabs.map((page) => page.close()));

    // A frozen tab (Chromium can freeze one on demand): between its calls
    // it holds nothing; frozen inside a transaction, it makes the others
    // fail with SQLITE_BUSY after their waitMs, not wait for ever.
    if (kind === 'chromium') {
      const [sleeper, other] = await Promise.all([tab(browser, url), tab(browser, url)]);
      await step(sleeper, 'open', 'frozen.db');
      await step(sleeper, 'exec', 'CREATE TABLE t(x)');
      await step(other, 'open', 'frozen.db', { waitMs: 2000 });
      const cdp = await sleeper.createCDPSession();
      await cdp.send('Page.setWebLifecycleState', { state: 'frozen' });
      const between = await step(other, 'tryRun', 'INSERT INTO t VALUES (1)');
      await cdp.send('Page.setWebLifecycleState', { state: 'active' });
      await step(sleeper, 'exec', 'BEGIN; INSERT INTO t VALUES (2)');
      await cdp.send('Page.setWebLifecycleState', { state: 'frozen' });
      const inside = await step(other, 'tryRun', 'INSERT INTO t VALUES (3)');
      await cdp.send('Page.setWebLifecycleState', { state: 'active' });
      await step(sleeper, 'exec', 'COMMIT');
      const after = await step(other, 'tryRun', 'INSERT INTO t VALUES (4)');
      const rows = await step(sleeper, 'all', 'SELECT group_concat(x) AS x FROM t');
      check(`${kind}: a tab frozen between calls holds nothing; frozen in a transaction, others get SQLITE_BUSY, then go on`,
            between === 'ok' && /^SQLITE_BUSY: "frozen\.db" has been held by another tab or worker for 2 s/.test(inside) &&
            after === 'ok' && rows[0].x === '1,2,4', JSON.stringify([between, inside, after, rows]));
      await Promise.all([sleeper.close(), other.close()]);
    }
  } finally {
    server.close();
    fs.rmSync(site, { recursive: true, force: true });
  }
}, kinds);
