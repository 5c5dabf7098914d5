#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Saved databases in the browser, used the ways that lose data when the
// store is not sound (make browser-test):
//
//   node storage_test.js PACKAGE_FOLDER
//
// Tabs of headless Chromium open one name through the package's ES module
// entry, served with storage/ from 127.0.0.1, once in the Origin Private
// File System and once in IndexedDB (a page whose OPFS files cannot be
// written). Each scenario gets a name of its own. What must hold: a copy's
// saves that overlap both land; a copy read before a remove never
// overwrites what is saved after it; a failed save or a tab closed in the
// middle of one leaves the stored bytes and version as they were, so that
// the other copies' saves are judged against what is really stored.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { WAIT_MS, check, serve, run } = require('./harness');

const packageFolder = path.resolve(process.argv[2]);

// Each scenario: what it shows, and its steps given a new tab maker and
// the name; it returns what it saw, which must equal `want`, or match it
// where `want` is a function. Steps run in tabs (page.evaluate on window.tab).
const SCENARIOS = [
  {
    what: "a copy's two saves, the second called before the first ends, both land in order",
    want: 'saved,saved; x,y v2',
    async steps(tab, name) {
      const a = await tab();
      const copy = await a.call('open', name);
      const both = await a.call('overlapping', copy);
      return `${both}; ${await a.call('seen', name)}`;
    },
  },
  {
    what: 'a copy read before a remove cannot overwrite what is saved after it',
    want: 'a: saved; removed: saved; c: saved; b (read before the remove): SAVE_CONFLICT; c v3',
    async steps(tab, name) {
      const [a, b, c] = [await tab(), await tab(), await tab()];
      const ca = await a.call('open', name);
      await a.call('add', ca, 'a');
      const steps = [`a: ${await a.call('save', ca)}`];
      const cb = await b.call('open', name);
      steps.push(`removed: ${await a.call('remove', name)}`);
      const cc = await c.call('open', name);
      await c.call('add', cc, 'c');
      steps.push(`c: ${await c.call('save', cc)}`);
      await b.call('add', cb, 'b');
      steps.push(`b (read before the remove): ${await b.call('save', cb)}`);
      return `${steps.join('; ')}; ${await c.call('seen', name)}`;
    },
  },
  {
    what: 'a save that fails on a full quota keeps what was stored and its version; the other copy then saves',
    want: 'a: saved; a, quota full: STORAGE_FULL; a1 v1; b: saved; a again: SAVE_CONFLICT; a1,b v2',
    async steps(tab, name) {
      const [a, b] = [await tab(), await tab()];
      const ca = await a.call('open', name);
      await a.call('add', ca, 'a1');
      const steps = [`a: ${await a.call('save', ca)}`];
      const cb = await b.call('open', name);
      await a.call('failNextWrite');
      await a.call('add', ca, 'a2');
      steps.push(`a, quota full: ${await a.call('save', ca)}`, await b.call('seen', name));
      await b.call('add', cb, 'b');
      steps.push(`b: ${await b.call('save', cb)}`, `a again: ${await a.call('save', ca)}`);
      return `${steps.join('; ')}; ${await b.call('seen', name)}`;
    },
  },
  {
    // Whether the save lands depends on when the tab goes, so it goes at
    // several moments; each time the stored version must be the stored
    // bytes', and the file whole.
    what: 'a tab closed in the middle of saving 64 MB leaves a whole file, and its version is the bytes\' own',
    want: (seen) => seen.split(' | ').every((round) => /^(saved; big v\d+|SAVE_CONFLICT; big,a v\d+)$/.test(round)),
    async steps(tab, name) {
      const rounds = [];
      for (const ms of [20, 150, 400, 800, 1600]) {
        const round = `${name}-${ms}`;
        const [a, b] = [await tab(), await tab()];
        const ca = await a.call('open', round);
        await a.call('add', ca, 'big', 64);
        await a.call('save', ca);
        const cb = await b.call('open', round);
        await a.call('add', ca, 'a');
        a.page.evaluate((copy) => { window.tab.save(copy); }, ca).catch(() => {});
        await new Promise((resolve) => setTimeout(resolve, ms));
        await a.page.close();
        await b.call('add', cb, 'b');
        const saved = await b.call('save', cb);
        // b's own save is big,b: what was stored before it was big alone.
        const seen = (await b.call('seen', round)).replace(/^big,b v(\d+)$/, (_, v) => `big v${v - 1}`);
        rounds.push(`${saved}; ${seen}`);
        await b.page.close();
      }
      return rounds.join(' | ');
    },
  },
];

run('saved databases', 300000, async (browser) => {
  const site = fs.mkdtempSync(path.join(os.tmpdir(), 'geodesy-storage-'));
  fs.cpSync(packageFolder, site, { recursive: true });
  fs.cpSync(path.join(__dirname, 'storage'), site, { recursive: true });
  const server = await serve(site);
  try {
    for (const [kind, withoutOpfs] of [['opfs', false], ['indexeddb', true]]) {
      const pages = [];
      // A new tab on the page, ready; call(method, ...args) runs window.tab's.
      const tab = async () => {
        const page = await browser.newPage();
        page.setDefaultTimeout(WAIT_MS);
        if (withoutOpfs) await page.evaluateOnNewDocument(() => { delete FileSystemFileHandle.prototype.createWritable; });
        await page.goto(server.url);
        await page.waitForFunction(() => window.ready === true);
        pages.push(page);
        return { page, call: (method, ...args) => page.evaluate((m, a) => window.tab[m](...a), method, args) };
      };
      const storage = await (await tab()).call('storage');
      check(`storage is ${kind}`, storage === kind, storage);
      for (const [i, scenario] of SCENARIOS.entries()) {
        let seen;
        try {
          seen = await scenario.steps(tab, `scenario-${i}-${kind}.db`);
        } catch (error) {
          seen = `threw ${error.message}`;
        }
        const ok = typeof scenario.want === 'function' ? scenario.want(seen) : seen === scenario.want;
        check(`${kind}: ${scenario.what}`, ok, `saw: ${seen}`);
        for (const page of pages.splice(0)) if (!page.isClosed()) await page.close();
      }
    }
  } finally {
    server.close();
    fs.rmSync(site, { recursive: true, force: true });
  }
});
