#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The worker API when the worker script is slow, missing or silent
// (make browser-test):
//
//   node worker_test.js PACKAGE_FOLDER
//
// A page of headless Chromium, served with worker/ from 127.0.0.1,
// imports only the package's worker API: calls made before the worker's
// serve() runs must wait for it, not vanish; a worker script that cannot
// load, or never serves, must fail every call with a message that names
// the cause; the error helpers must work in the page. The module itself,
// loaded in the page, must compile while it downloads, and name the URL
// of bytes served as WebAssembly that are not.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { WAIT_MS, check, serve, run } = require('./harness');

const packageFolder = path.resolve(process.argv[2]);

run('the worker API', 120000, async (browser) => {
  const site = fs.mkdtempSync(path.join(os.tmpdir(), 'geodesy-worker-'));
  fs.cpSync(packageFolder, site, { recursive: true });
  fs.cpSync(path.join(__dirname, 'worker'), site, { recursive: true });
  const server = await serve(site);
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(WAIT_MS);
    await page.goto(server.url);
    const results = await page.evaluate(() => window.results);
    check('calls made before a worker script\'s top-level await ends are answered once it serves',
          results.late === 'ok "111319.491"', results.late);
    check('isSqliteError, isSaveConflict and isStorageError from the worker API tell SQLite\'s errors apart',
          results.helpers === 'true SQLITE_ERROR false false false', results.helpers);
    check('a worker script that is not there fails the call, naming its URL',
          /^error the database worker \(missing-worker\.mjs\) could not be loaded/.test(results.missing), results.missing);
    check('a worker script that never calls serve() fails the call, saying so',
          /^error the database worker has not called serve\(\) after 2 s/.test(results.silent), results.silent);
    check('the module compiles while it downloads (instantiateStreaming)',
          /^ok "1 3\.\d+\.\d+"$/.test(results.streaming), results.streaming);
    check('bytes served as application/wasm that are not WebAssembly are named, with the URL',
          /^error could not load http:\/\/127\.0\.0\.1:\d+\/not-wasm\.wasm: the server sent 21 bytes that are not WebAssembly \(application\/wasm/.test(results.garbage),
          results.garbage);
  } finally {
    server.close();
    fs.rmSync(site, { recursive: true, force: true });
  }
});
