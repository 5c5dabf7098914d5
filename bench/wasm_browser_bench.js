#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Writes in a browser: the prepared 50,000-row insert in a dedicated worker
// of headless Chromium (and Firefox, where installed) against the native
// module in better-sqlite3, medians of five runs in the same run; then a
// database of about 100 MB stored durably (page by page) beside the same
// database kept as a snapshot (saved whole): open, one-row COMMIT, and
// 50,000-row COMMIT, with the browser's peak memory for each.
//
//   node bench/wasm_browser_bench.js build-wasm/package build-bench/geodesy.so [MB]
//
// make bench-wasm runs it after wasm_bench.js. Each phase runs in a fresh
// browser profile; memory is the largest sum of the resident sizes of the
// browser's processes, sampled every 100 ms, less that sum when the page
// has loaded and the worker is idle.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { serve, launch } = require('../tests/browser/harness');

const [packageFolder, nativeModule, mbArgument] = process.argv.slice(2);
const targetMB = Number(mbArgument || 100);
const RUNS = 5;
const N = 50000;

// The resident size of pid and its descendants, in MiB (Linux /proc).
function treeMiB(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(entry));
    } catch (e) { /* gone */ }
  }
  let kib = 0;
  const visit = (p) => {
    try {
      const status = fs.readFileSync(`/proc/${p}/status`, 'utf8');
      kib += Number((/VmRSS:\s+(\d+)/.exec(status) || [0, 0])[1]);
    } catch (e) { /* gone */ }
    for (const child of children.get(p) || []) visit(child);
  };
  visit(pid);
  return kib / 1024;
}

function nativeInsertMs() {
  const Native = require(path.join(__dirname, '..', 'tests', 'hosts', 'node_modules', 'better-sqlite3'));
  const rows = Array.from({ length: N }, (_, i) =>
    [`place ${i}`, (i * 7919 % 17999) / 100 - 90, (i * 104729 % 35999) / 100 - 180, i]);
  const times = [];
  for (let i = 0; i < RUNS; i++) {
    const start = process.hrtime.bigint();
    const db = new Native(':memory:');
    db.loadExtension(path.resolve(nativeModule));
    db.exec('CREATE TABLE p(name TEXT, lat REAL, lon REAL, n INTEGER)');
    const insert = db.prepare('INSERT INTO p VALUES (?, ?, ?, ?)');
    db.transaction(() => { for (const row of rows) insert.run(row); })();
    db.close();
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  return times.sort((a, b) => a - b)[Math.floor(RUNS / 2)];
}

async function phase(kind, server, name) {
  const { browser, close } = await launch(kind);
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(600000);
    const pid = browser.process().pid;
    await page.goto(`${server.url}?phase=idle`);
    await page.evaluate(() => window.figures);
    const idle = treeMiB(pid);
    let peak = idle;
    const sampler = setInterval(() => { peak = Math.max(peak, treeMiB(pid)); }, 100);
    await page.goto(`${server.url}?phase=${name}&targetMB=${targetMB}`);
    const figures = await page.evaluate(() => window.figures);
    clearInterval(sampler);
    return { ...figures, memoryMiB: peak - idle };
  } finally {
    await close();
  }
}

async function main() {
  const site = fs.mkdtempSync(path.join(os.tmpdir(), 'geodesy-bench-'));
  fs.cpSync(packageFolder, site, { recursive: true });
  fs.cpSync(path.join(__dirname, 'wasm_browser'), site, { recursive: true });
  const server = await serve(site);
  const kinds = ['chromium'].concat(fs.existsSync('/usr/bin/firefox-esr') ? ['firefox'] : []);
  const native = nativeInsertMs();
  const ms = (t) => (t >= 100 ? t.toFixed(0) : t >= 10 ? t.toFixed(1) : t.toFixed(2));
  try {
    console.log(`${N.toLocaleString('en')} rows through one prepared INSERT in one transaction, ` +
                `in memory, median of ${RUNS} runs:\n`);
    console.log('| engine | median | best | median against native |');
    console.log('|---|---:|---:|---:|');
    console.log(`| native, better-sqlite3 (Node.js ${process.version}) | ${ms(native)} ms | | 1 |`);
    const stores = {};
    for (const kind of kinds) {
      const { insert } = await phase(kind, server, 'insert');
      console.log(`| WebAssembly in a ${kind} worker | ${ms(insert.median)} ms | ${ms(insert.best)} ms | ` +
                  `${(insert.median / native).toFixed(2)} |`);
      stores[kind] = [await phase(kind, server, 'durable'), await phase(kind, server, 'snapshot')];
    }
    console.log(`\nA database of about ${targetMB} MB in the browser's storage, medians ` +
                `(20 one-row COMMITs, ${RUNS} of the others):\n`);
    console.log('| browser | stored | size | open | one-row COMMIT | 50,000-row COMMIT | peak memory |');
    console.log('|---|---|---:|---:|---:|---:|---:|');
    for (const kind of kinds) {
      const [durable, snapshot] = stores[kind];
      if (durable.durableOneRow) {
        console.log(`| ${kind} | durable, page by page | ${durable.durableMB.toFixed(0)} MB | ` +
                    `${ms(durable.durableOpen.median)} ms | ${ms(durable.durableOneRow.median)} ms | ` +
                    `${ms(durable.durableBatch.median)} ms | +${durable.memoryMiB.toFixed(0)} MiB |`);
      }
      console.log(`| ${kind} | snapshot, saved whole | ${snapshot.snapshotMB.toFixed(0)} MB | ` +
                  `${ms(snapshot.snapshotOpen.median)} ms | ${ms(snapshot.snapshotOneRow.median)} ms | ` +
                  `${ms(snapshot.snapshotBatch.median)} ms | +${snapshot.memoryMiB.toFixed(0)} MiB |`);
    }
  } finally {
    server.close();
    fs.rmSync(site, { recursive: true, force: true });
  }
}

main().then(() => process.exit(0), (error) => {
  console.error(error);
  process.exit(1);
});
