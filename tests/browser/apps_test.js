#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The package in apps bundled as users bundle them (make browser-test):
//
//   node apps_test.js sqlite-geodesy-wasm-VERSION.tgz
//
// For each bundler below, the tarball is installed into a fresh project
// holding app/, which is built by the commands (and configuration) that
// docs/browser.md gives, run as they stand, then opened in headless
// Chromium: from a static server on 127.0.0.1, and from the bundler's own
// dev server where it has one. A Next.js app (next-app/) uses it in a
// client component and a route handler, built and started, and in
// `next dev`. The page and its module Worker must give the bits that the
// CommonJS entry gives in Node.js; a saved database must survive a
// reload, in OPFS and in IndexedDB; a missing .wasm, or a page in its
// place, must be named in the error; tabs and a worker saving one
// database must never overwrite a newer save. Then it prints what an
// import and saving a 10 MB and a 100 MB database cost.
'use strict';
const { execFileSync, spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const net = require('net');
const os = require('os');
const path = require('path');
const { WAIT_MS, check, serve, run } = require('./harness');

const tarball = path.resolve(process.argv[2]);
const tools = path.join(__dirname, 'node_modules');

// Each bundler: its section of docs/browser.md, the packages of this
// test's pinned copies it needs (name in the app: name here), the page to
// open, the file its docs' configuration goes to, and its dev server.
// `checks: 'bits'` opens a page that only computes. Vite 5 takes the
// docs' vite.config.js (for its dev server); Vite 8 needs none.
const BUNDLERS = [
  { name: 'esbuild', docs: '### With esbuild', tools: { esbuild: 'esbuild', '@esbuild': '@esbuild' } },
  { name: 'Rollup', docs: '### With Rollup', tools: { rollup: 'rollup', '@rollup': '@rollup' },
    config: 'rollup.config.mjs' },
  { name: 'Vite 5', docs: '### With Vite', tools: { vite: 'vite5' }, config: 'vite.config.js',
    dev: ['vite', '--host', '127.0.0.1', '--strictPort', '--port'] },
  { name: 'Vite 8', docs: '### With Vite', tools: { vite: 'vite' },
    dev: ['vite', '--host', '127.0.0.1', '--strictPort', '--port'] },
  { name: 'webpack', docs: '### With webpack', tools: { webpack: 'webpack', 'webpack-cli': 'webpack-cli' } },
  { name: 'webpack, require()', docs: '### With webpack and require()', page: 'require.html', checks: 'bits',
    tools: { webpack: 'webpack', 'webpack-cli': 'webpack-cli' } },
  { name: 'Parcel', docs: '### With Parcel', tools: { parcel: 'parcel' } },
];

// The code blocks of docs/browser.md under heading, by language.
function docsBlocks(heading) {
  const text = fs.readFileSync(path.join(__dirname, '../../docs/browser.md'), 'utf8');
  const start = text.indexOf(`${heading}\n`);
  if (start < 0) throw new Error(`docs/browser.md has no "${heading}"`);
  const section = text.slice(start, text.indexOf('\n#', start + heading.length));
  const blocks = {};
  for (const [, lang, body] of section.matchAll(/^```(\w+)\n([\s\S]*?)^```$/gm)) blocks[lang] = body;
  return blocks;
}

function install(work, ...extra) {
  execFileSync('npm', ['install', '--prefer-offline', '--no-audit', '--no-fund', '--no-package-lock',
                       '--loglevel=error', ...extra, tarball], { cwd: work, stdio: 'inherit' });
}

// Links this test's copy of each tool into the app, with its commands in
// node_modules/.bin, where npx finds them.
function linkTools(work, links) {
  const modules = path.join(work, 'node_modules');
  fs.mkdirSync(path.join(modules, '.bin'), { recursive: true });
  for (const [name, here] of Object.entries(links)) {
    const target = path.join(tools, here);
    fs.symlinkSync(target, path.join(modules, name));
    if (name.startsWith('@')) continue;
    const { bin } = JSON.parse(fs.readFileSync(path.join(target, 'package.json'), 'utf8'));
    for (const [command, file] of Object.entries(typeof bin === 'string' ? { [name]: bin } : bin || {})) {
      fs.symlinkSync(path.join(target, file), path.join(modules, '.bin', command));
    }
  }
}

// A fresh project with the app, built as the docs say; returns its dist.
function bundle(bundler) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'geodesy-app-'));
  fs.cpSync(path.join(__dirname, 'app'), work, { recursive: true });
  fs.writeFileSync(path.join(work, 'package.json'), '{ "private": true, "type": "module" }\n');
  install(work);
  linkTools(work, bundler.tools);
  const blocks = docsBlocks(bundler.docs);
  if (bundler.config) fs.writeFileSync(path.join(work, bundler.config), blocks.js);
  execFileSync('bash', ['-euo', 'pipefail', '-c', blocks.sh], { cwd: work, stdio: 'inherit' });
  const dist = path.join(work, 'dist');
  const page = bundler.page || 'index.html';
  if (!fs.existsSync(path.join(dist, page))) fs.copyFileSync(path.join(work, page), path.join(dist, page));
  return { work, dist };
}

// A port nobody listens on now.
function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Starts a server command in cwd (npx command args… port) in a process
// group of its own, and resolves once it answers on 127.0.0.1; stop() ends
// the group and resolves once its leader has exited and the group is gone,
// so that nothing writes into cwd after. Every group still running when
// this test exits is ended too.
const groups = new Set();
process.on('exit', () => { for (const pid of groups) try { process.kill(-pid, 'SIGKILL'); } catch (e) { /* gone */ } });
async function startServer(cwd, args) {
  const port = await freePort();
  const log = path.join(cwd, 'server.log');
  const out = fs.openSync(log, 'w');
  const child = spawn('npx', [...args, String(port)], { cwd, detached: true, stdio: ['ignore', out, out],
                                                         env: { ...process.env, NEXT_TELEMETRY_DISABLED: '1' } });
  groups.add(child.pid);
  const exited = new Promise((resolve) => child.once('exit', resolve));
  const stop = async () => {
    const signal = (name) => { try { process.kill(-child.pid, name); } catch (e) { /* gone */ } };
    signal('SIGTERM');
    await Promise.race([exited, new Promise((resolve) => setTimeout(resolve, 10000))]);
    signal('SIGKILL');  // whatever of the group is left, the leader's children among it
    await exited;
    groups.delete(child.pid);
  };
  const url = `http://127.0.0.1:${port}/`;
  for (const until = Date.now() + 60000; Date.now() < until;) {
    const answered = await new Promise((resolve) => {
      http.get(url, (response) => { response.resume(); resolve(true); }).on('error', () => resolve(false));
    });
    if (answered) return { url, stop };
    if (child.exitCode !== null) break;
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
  await stop();
  throw new Error(`npx ${args.join(' ')} ${port} did not answer: ${fs.readFileSync(log, 'utf8').slice(-2000)}`);
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

// What the app at url reports; a page that reports nothing gives the
// errors it threw instead.
async function report(page, url) {
  const thrown = [];
  const onError = (error) => thrown.push(error.message);
  page.on('pageerror', onError);
  try {
    await page.goto(url);
    await page.waitForFunction(() => window.report && (window.report.done || window.report.error !== undefined));
    return await page.evaluate(() => JSON.parse(JSON.stringify(window.report)));
  } catch (error) {
    return { error: `${url} reported nothing: ${error.message}; the page threw: ${thrown.join('; ') || 'nothing'}` };
  } finally {
    page.off('pageerror', onError);
  }
}

const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// What the CommonJS entry gives in Node.js, from the tarball installed in work.
async function nodeBits(work) {
  const init = require(path.join(work, 'node_modules/sqlite-geodesy-wasm'));
  const { Database } = await init();
  const db = new Database();
  const bits = {
    page: db.exec('SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)')[0].values[0],
    worker: db.exec('SELECT project_lat(0, 0, 90, 1e6), project_lon(0, 0, 90, 1e6)')[0].values[0],
  };
  db.close();
  return bits;
}

// The app's checks at url (its root), from a static server or a dev
// server; the open page is returned for more.
async function checkApp(browser, name, url, expected, { pageFile, checks, fromDisk }) {
  const page = await browser.newPage();
  page.setDefaultTimeout(WAIT_MS);
  const first = await report(page, url + (pageFile || ''));
  check(`${name}: the page gives Node.js's bits`, same(first.page, expected.page), JSON.stringify(first));
  if (checks === 'bits') return { page };
  check(`${name}: the module Worker gives Node.js's bits`, same(first.worker, expected.worker), JSON.stringify(first));
  const again = await report(page, url);
  check(`${name}: a saved database survives a reload (${again.storage})`,
        again.visits === first.visits + 1 && first.visits >= 1, JSON.stringify([first, again]));
  // A dev server answers every unknown URL with the app's page, so a
  // missing file is a 404 only where files are served from disk.
  if (fromDisk) {
    const missing = await report(page, `${url}?missing#missing`);
    check(`${name}: a missing .wasm is named in the error`,
          /could not fetch http:\/\/127\.0\.0\.1:\d+\/missing\.wasm: HTTP 404/.test(missing.error || ''),
          missing.error);
  }
  const wrongBytes = await report(page, `${url}?html#html`);
  check(`${name}: a page served in place of the .wasm is named, with the likely causes`,
        /index\.html: the server sent an HTML page .*single-page app.*optimizeDeps/.test(wrongBytes.error || ''),
        wrongBytes.error);
  const api = await report(page, `${url}?worker-api#worker-api`);
  const wantRows = [{ name: 'a', m: 0 }, { name: 'b', m: expected.page[0] }];
  check(`${name}: the worker API runs queries in the Worker, with Node.js's bits, SQLite's error codes ` +
        'and saved databases', api.error === undefined && api.changes === 2 && same(api.rows, wantRows) &&
        same([api.one.lat, api.one.lon], expected.worker) &&
        JSON.stringify(api.sqlError) === '["SQLITE_ERROR",1,"no such table: nosuch"]' && api.exported > 0 &&
        api.stored.name === 'worker-api.db' && (api.stored.durable === true || api.stored.version >= 1) && api.closed === 'this database was closed',
        JSON.stringify(api));
  return { page, storage: first.storage };
}

// Saving from tabs and workers, and what imports and saves cost: once,
// on the esbuild app.
async function storageChecks(browser, name, server, page, storage) {
  for (const [kind, withoutOpfs] of [['opfs', false], ['indexeddb', true]]) {
    const wrong = await tabs(browser, server.url, kind, withoutOpfs);
    check(`${name}: three tabs and a worker on one saved database (${kind}): a save over a ` +
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
    console.log(`save() of a ${megabytes} MB database (${storage}): ${ms.toFixed(0)} ms`);
  }
}

// The Next.js app: installed from its pinned package.json, built, started,
// and run again in `next dev`, which compiles on the first request.
async function nextApp(browser, expected) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'geodesy-next-'));
  try {
    fs.cpSync(path.join(__dirname, 'next-app'), work, { recursive: true });
    install(work);
    execFileSync('npx', ['next', 'build'], { cwd: work, stdio: 'inherit',
                                              env: { ...process.env, NEXT_TELEMETRY_DISABLED: '1' } });
    for (const [how, command] of [['next build, next start', 'start'], ['next dev', 'dev']]) {
      const server = await startServer(work, ['next', command, '-H', '127.0.0.1', '-p']);
      try {
        const page = await browser.newPage();
        page.setDefaultTimeout(4 * WAIT_MS);
        const got = await report(page, server.url);
        check(`Next.js (${how}): a client component gives Node.js's bits, in the page and through the worker API`,
              same(got.page, expected.page) && same(got.worker, expected.worker), JSON.stringify(got));
        await page.close();
        const response = await fetch(`${server.url}api/bits`);
        const text = await response.text();
        check(`Next.js (${how}): a route handler gives Node.js's bits on the server`,
              response.ok && text === JSON.stringify(expected.worker), `${response.status} ${text.slice(0, 500)}`);
      } finally {
        await server.stop();
      }
    }
  } finally {
    fs.rmSync(work, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
  }
}

run('bundled apps', 900000, async (browser) => {
  let expected = null;
  for (const bundler of BUNDLERS) {
    const { work, dist } = bundle(bundler);
    if (expected === null) expected = await nodeBits(work);
    const server = await serve(dist);
    try {
      const { page, storage } = await checkApp(browser, bundler.name, server.url, expected,
                                               { pageFile: bundler.page, checks: bundler.checks, fromDisk: true });
      if (bundler.name === 'esbuild') await storageChecks(browser, bundler.name, server, page, storage);
      await page.close();
      if (bundler.dev) {
        const dev = await startServer(work, bundler.dev);
        try {
          const { page: devPage } = await checkApp(browser, `${bundler.name}, dev server`, dev.url, expected, {});
          await devPage.close();
        } finally {
          await dev.stop();
        }
      }
    } finally {
      server.close();
      fs.rmSync(work, { recursive: true, force: true });
    }
  }
  await nextApp(browser, expected);
});
