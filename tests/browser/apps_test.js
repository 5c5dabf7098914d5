#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The package in apps bundled as users bundle them (make browser-test):
//
//   node apps_test.js sqlite-geodesy-wasm-VERSION.tgz
//
// For esbuild and for Rollup, the tarball is installed into a fresh project
// holding app/, which is bundled by the commands (and Rollup's config) that
// docs/browser.md gives, run as they stand, then served on 127.0.0.1 and
// opened in headless Chromium. The page and its module Worker must give the bits
// that the CommonJS entry gives in Node.js; a saved database must survive
// a reload, in OPFS and in IndexedDB; a missing .wasm must be named in
// the error; tabs and a worker saving one database must never overwrite
// a newer save. Then it prints
// what saving a 10 MB and a 100 MB database costs.
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { WAIT_MS, check, serve, run } = require('./harness');

const tarball = path.resolve(process.argv[2]);
const tools = path.join(__dirname, 'node_modules');
const BUNDLERS = { esbuild: '### With esbuild', rollup: '### With Rollup' };

// The code blocks of docs/browser.md under heading, by language.
function docsBlocks(heading) {
  const text = fs.readFileSync(path.join(__dirname, '../../docs/browser.md'), 'utf8');
  const start = text.indexOf(`${heading}\n`);
  const section = text.slice(start, text.indexOf('\n#', start + heading.length));
  const blocks = {};
  for (const [, lang, body] of section.matchAll(/^```(\w+)\n([\s\S]*?)^```$/gm)) blocks[lang] = body;
  return blocks;
}

// A fresh project with the app, bundled as the docs say; returns its dist.
function bundle(name) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), `geodesy-${name}-`));
  fs.cpSync(path.join(__dirname, 'app'), work, { recursive: true });
  fs.writeFileSync(path.join(work, 'package.json'), '{ "private": true, "type": "module" }\n');
  execFileSync('npm', ['install', '--no-audit', '--no-fund', '--no-package-lock', '--loglevel=error',
                       tarball], { cwd: work, stdio: 'inherit' });
  // The bundlers are this test's pinned copies, where npx finds them.
  const modules = path.join(work, 'node_modules');
  fs.mkdirSync(path.join(modules, '.bin'), { recursive: true });
  for (const tool of ['esbuild', '@esbuild', 'rollup', '@rollup']) {
    fs.symlinkSync(path.join(tools, tool), path.join(modules, tool));
  }
  for (const tool of ['esbuild', 'rollup']) {
    fs.symlinkSync(fs.realpathSync(path.join(tools, '.bin', tool)), path.join(modules, '.bin', tool));
  }
  const blocks = docsBlocks(BUNDLERS[name]);
  if (blocks.js) fs.writeFileSync(path.join(work, 'rollup.config.mjs'), blocks.js);
  execFileSync('bash', ['-euo', 'pipefail', '-c', blocks.sh], { cwd: work, stdio: 'inherit' });
  const dist = path.join(work, 'dist');
  fs.copyFileSync(path.join(work, 'index.html'), path.join(dist, 'index.html'));
  return { work, dist };
}

// Three tabs and a worker on one saved database: no save may overwrite a
// newer one. Returns a description of what went wrong, or null.
async function tabs(browser, url, storage, withoutOpfs) {
  const pages = [];
  for (let i = 0; i < 3; i++) {
    const page = await browser.newPage();
    page.setDefaultTimeout(WAIT_MS);
    if (withoutOpfs) await page.evaluateOnNewDocument(() => { delete FileSystemFileHandle.prototype.createWritable; });
    await report(page, `${url}?tabs#tabs`);
    pages.push(page);
  }
  const [a, b, c] = pages;
  const name = `shared-${storage}.db`;
  const open = (page, who) => page.evaluate(async (name, who) => {
    window.db = await window.geodesy.Database.open(name);
    window.db.run('CREATE TABLE IF NOT EXISTS t(who TEXT)');
    window.db.run('INSERT INTO t VALUES (?)', [who]);
    return window.db.stored;
  }, name, who);
  const save = (page) => page.evaluate(() => window.db.save().then(() => 'saved', (e) => e.code || e.message));
  const seen = () => c.evaluate(async (name) => {
    const db = await window.geodesy.Database.open(name);
    const rows = db.exec('SELECT group_concat(who) FROM t')[0].values[0][0];
    const { version } = db.stored;
    db.close();
    return `${rows} v${version}`;
  }, name);

  const steps = [];
  const opened = [await open(a, 'a'), await open(b, 'b')];
  steps.push(`opened ${JSON.stringify(opened)}`);
  steps.push(`a: ${await save(a)}`, `b: ${await save(b)}`);
  steps.push(`worker: ${await c.evaluate((name, w) => window.saveInWorker(name, w), name, withoutOpfs)}`);
  steps.push(`a again: ${await save(a)}`, `seen: ${await seen()}`);
  // Two tabs that read the same copy and save at once: one wins.
  await open(a, 'a2');
  await open(b, 'b2');
  const both = await Promise.all([save(a), save(b)]);
  steps.push(`at once: ${both.sort().join(' ')}`, `seen: ${await seen()}`);
  for (const page of pages) await page.close();
  const want = [`opened [{"name":"${name}","storage":"${storage}","version":0},` +
                `{"name":"${name}","storage":"${storage}","version":0}]`,
                'a: saved', 'b: SAVE_CONFLICT', 'worker: saved', 'a again: SAVE_CONFLICT', 'seen: a,worker v2'];
  const ok = steps.slice(0, 6).join('\n') === want.join('\n') && steps[6] === 'at once: SAVE_CONFLICT saved' &&
    /^seen: a,worker,(a2|b2) v3$/.test(steps[7]);
  return ok ? null : steps.join('; ');
}

async function report(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => window.report && (window.report.done || window.report.error !== undefined));
  return page.evaluate(() => JSON.parse(JSON.stringify(window.report)));
}

run('bundled apps', 300000, async (browser) => {
  let expected = null;
  for (const name of Object.keys(BUNDLERS)) {
    const { work, dist } = bundle(name);
    if (expected === null) {
      const init = require(path.join(work, 'node_modules/sqlite-geodesy-wasm'));
      const { Database } = await init();
      const db = new Database();
      expected = {
        page: db.exec('SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)')[0].values[0],
        worker: db.exec('SELECT project_lat(0, 0, 90, 1e6), project_lon(0, 0, 90, 1e6)')[0].values[0],
      };
    }
    const server = await serve(dist);
    try {
      const page = await browser.newPage();
      page.setDefaultTimeout(WAIT_MS);
      const first = await report(page, server.url);
      check(`${name}: the page gives Node.js's bits`,
            JSON.stringify(first.page) === JSON.stringify(expected.page), JSON.stringify(first));
      check(`${name}: the module Worker gives Node.js's bits`,
            JSON.stringify(first.worker) === JSON.stringify(expected.worker), JSON.stringify(first));
      const again = await report(page, server.url);
      check(`${name}: a saved database survives a reload (${again.storage})`,
            again.visits === first.visits + 1 && first.visits >= 1, JSON.stringify([first, again]));
      const missing = await report(page, `${server.url}?missing#missing`);
      check(`${name}: a missing .wasm is named in the error`,
            /could not fetch http:\/\/127\.0\.0\.1:\d+\/missing\.wasm: HTTP 404/.test(missing.error || ''),
            missing.error);
      const wrongBytes = await report(page, `${server.url}?html#html`);
      check(`${name}: a page served in place of the .wasm is named, with the likely causes`,
            /index\.html: the server sent an HTML page .*single-page app.*optimizeDeps/.test(wrongBytes.error || ''),
            wrongBytes.error);
      const api = await report(page, `${server.url}?worker-api#worker-api`);
      const wantRows = [{ name: 'a', m: 0 }, { name: 'b', m: expected.page[0] }];
      check(`${name}: the worker API runs queries in the Worker, with Node.js's bits, SQLite's error codes ` +
            'and saved databases', api.error === undefined && api.changes === 2 &&
            JSON.stringify(api.rows) === JSON.stringify(wantRows) &&
            JSON.stringify([api.one.lat, api.one.lon]) === JSON.stringify(expected.worker) &&
            JSON.stringify(api.sqlError) === '["SQLITE_ERROR",1,"no such table: nosuch"]' && api.exported > 0 &&
            api.stored.name === 'worker-api.db' && api.stored.version >= 1 && api.closed === 'this database was closed',
            JSON.stringify(api));
      if (name === 'esbuild') {
        for (const [storage, withoutOpfs] of [['opfs', false], ['indexeddb', true]]) {
          const wrong = await tabs(browser, server.url, storage, withoutOpfs);
          check(`${name}: three tabs and a worker on one saved database (${storage}): a save over a ` +
                'newer one fails with SAVE_CONFLICT and keeps it, and of two saves at once one wins',
                wrong === null, wrong);
        }
        // Where OPFS files cannot be written, databases are kept in IndexedDB.
        const old = await browser.newPage();
        await old.evaluateOnNewDocument(() => { delete FileSystemFileHandle.prototype.createWritable; });
        const before = await report(old, server.url);
        const after = await report(old, server.url);
        check(`${name}: without writable OPFS files a saved database survives a reload (${after.storage})`,
              after.storage === 'indexeddb' && after.visits === before.visits + 1, JSON.stringify([before, after]));
        await old.close();
        const measured = await report(page, `${server.url}?measure#measure`);
        console.log(`50,000 rows inserted through one prepared statement in one transaction, in Chromium: ` +
                    `${measured.insertMs.toFixed(0)} ms, best of 5 (the first: ${measured.firstInsertMs.toFixed(0)} ms; ` +
                    'make bench-wasm has the native figure)');
        for (const [megabytes, ms] of Object.entries(measured.saves || {})) {
          console.log(`save() of a ${megabytes} MB database (${first.storage}): ${ms.toFixed(0)} ms`);
        }
      }
      await page.close();
    } finally {
      server.close();
      fs.rmSync(work, { recursive: true, force: true });
    }
  }
});
