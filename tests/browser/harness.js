// SPDX-License-Identifier: MIT
// What the browser tests share: a static server on 127.0.0.1, Debian's
// headless Chromium (or Firefox ESR) with a fresh profile, checks that
// count, and a run bounded in time that ends the browser by its PID
// however it stops.
'use strict';
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const WAIT_MS = 30000;
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
                '.css': 'text/css', '.wasm': 'application/wasm', '.png': 'image/png',
                '.json': 'application/json' };

let passed = 0;
let failed = 0;
function check(what, ok, detail) {
  if (ok) passed++; else failed++;
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}${ok ? '' : ` (${detail})`}`);
}

// Serves root on 127.0.0.1, on a port the system picks; server.hits counts
// the requests for each path.
function serve(root) {
  root = path.resolve(root);
  const hits = {};
  const server = http.createServer((request, response) => {
    const name = path.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    hits[name] = (hits[name] || 0) + 1;
    const file = path.join(root, name === '/' ? 'index.html' : name);
    if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    server.url = `http://127.0.0.1:${server.address().port}/`;
    server.hits = hits;
    resolve(server);
  }));
}

let browserPid = null;

// Launches a fresh headless browser: Debian's chromium, or firefox-esr
// (driven over WebDriver BiDi); resolves to { browser, close }.
async function launch(kind) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `geodesy-${kind}-`));
  const browser = await puppeteer.launch(kind === 'firefox' ? {
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: true,
    userDataDir: profile,
    timeout: WAIT_MS,
    extraPrefsFirefox: { 'dom.workers.maxPerDomain': 64, 'network.proxy.type': 0 },
  } : {
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    timeout: WAIT_MS,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const pid = browserPid = browser.process().pid;
  const close = async () => {
    const closed = browser.close().then(() => true, () => false);
    const late = new Promise((resolve) => setTimeout(resolve, 10000, false));
    if (!(await Promise.race([closed, late]))) {
      try { process.kill(pid, 'SIGKILL'); } catch (e) { /* already gone */ }
    }
    browserPid = null;
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { browser, close };
}

// Runs body(browser, kind) in a fresh headless browser of each kind
// ('chromium' unless told), all within limitMs, and exits with the
// checks' summary.
function run(name, limitMs, body, kinds = ['chromium']) {
  const deadline = setTimeout(() => {
    console.log(`FAIL: ${name} did not finish within ${limitMs / 1000} s`);
    if (browserPid !== null) {
      try { process.kill(browserPid, 'SIGKILL'); } catch (e) { /* already gone */ }
    }
    process.exit(1);
  }, limitMs);
  const main = async () => {
    for (const kind of kinds) {
      const { browser, close } = await launch(kind);
      try {
        await body(browser, kind);
      } finally {
        await close();
      }
    }
  };
  main().then(() => {
    clearTimeout(deadline);
    console.log(`${name}: ${passed} passed, ${failed} failed`);
    process.exit(failed ? 1 : 0);
  }, (error) => {
    clearTimeout(deadline);
    console.log(`FAIL: ${error.stack || error}`);
    process.exit(1);
  });
}

module.exports = { WAIT_MS, check, serve, run, launch };
