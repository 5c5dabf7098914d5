#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The demo page in Debian's headless Chromium (make browser-test):
//
//   node demo_test.js SITE_DIR SCREENSHOT.png
//
// Serves SITE_DIR on 127.0.0.1 and, at 1280 px: runs a query SQLite
// refuses and one typed into the SQL box (in its Web Worker), runs an
// example, keeps a table across a reload and forgets it, clicks London and
// New York, an open-sea point (shown to the decimals a click can tell) and
// a nearly antipodal pair (which must warn), then saves a screenshot. At
// 390 px on a 2x screen the page must fit and the map be drawn at 2x. From
// file:// the page must say that it has to be served. With the server
// gone, it must reload from its service worker's cache.
'use strict';
const path = require('path');
const { WAIT_MS, check, serve, run } = require('./harness');

const [site, screenshot] = process.argv.slice(2);

async function open(browser, url, width, height, scale) {
  const page = await browser.newPage();
  page.setDefaultTimeout(WAIT_MS);
  await page.setViewport({ width, height, deviceScaleFactor: scale });
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  await page.goto(url);
  return page;
}

// Runs sql in the SQL box; the table of the first result, or the error.
async function query(page, sql) {
  await page.$eval('#sql', (e, text) => { e.value = text; }, sql);
  await page.$eval('#results', (e) => e.replaceChildren());
  await page.click('#run');
  await page.waitForFunction(() => document.getElementById('error').textContent !== '' ||
                                   document.getElementById('results').childNodes.length > 0);
  return page.evaluate(() => document.getElementById('error').textContent ||
    Array.from(document.querySelectorAll('#results tr'), (r) => Array.from(r.cells, (c) => c.textContent)));
}

run('browser test', 240000, async (browser) => {
  const server = await serve(site);
  try {
    const page = await open(browser, server.url, 1280, 800, 1);
    await page.waitForSelector('body[data-ready="true"]');
    check('the module loads and the page is ready',
          /^Ready: SQLite 3\./.test(await page.$eval('#status', (e) => e.textContent)), 'status');

    const refused = await query(page, 'SELECT distance(1, 2, 3)');
    check("SQLite's error is shown, and the page goes on",
          refused === 'wrong number of arguments to function distance()', refused);
    await page.$eval('#sql', (e) => { e.value = ''; });
    await page.type('#sql', 'SELECT distance(0, 0, 0, 1) AS m, azimut_start(0, 0, 0, -1) AS az, ' +
                            'project_lon(0, 20, 45, 0) AS lon, typeof(project_lat(NULL, 0, 0, 0)) AS t');
    await page.$eval('#results', (e) => e.replaceChildren());
    await page.keyboard.down('Control');
    await page.keyboard.press('Enter');
    await page.keyboard.up('Control');
    await page.waitForSelector('#results table');
    const typed = await page.$$eval('#results tr', (rows) => rows.map((r) => Array.from(r.cells, (c) => c.textContent)));
    check('the SQL box runs a query in its worker and shows the table',
          JSON.stringify(typed) === JSON.stringify([['m', 'az', 'lon', 't'], ['111319.49079327342', '270', '20', 'real']]),
          JSON.stringify(typed));

    check('the page and its worker fetch the module once between them',
          server.hits['/sqlite-geodesy.wasm'] === 1, JSON.stringify(server.hits));

    const [dubai] = await page.$$('xpath/.//button[text()="Within 4000 km of Dubai"]');
    await page.$eval('#results', (e) => e.replaceChildren());
    await dubai.click();
    await page.waitForSelector('#results table');
    const near = await page.$$eval('#results tr', (rows) => rows.slice(1).map((r) => r.cells[0].textContent));
    check('"Within 4000 km of Dubai" gives the cities within 4000 km of Dubai',
          near.join() === 'Dubai,Nairobi,Moscow', near.join());

    await query(page, 'CREATE TABLE mine(x); INSERT INTO mine VALUES (42)');
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    const kept = await query(page, 'SELECT sum(x) FROM mine');
    check("the user's table survives a reload", JSON.stringify(kept) === '[["sum(x)"],["42"]]', JSON.stringify(kept));
    await page.click('#forget');
    await page.waitForFunction(() => document.getElementById('results').textContent === 'Done: no rows.');
    const forgotten = await query(page, 'SELECT * FROM mine');
    check('"Forget my tables" forgets them', forgotten === 'no such table: mine', forgotten);

    const box = await (await page.$('#map')).boundingBox();
    const click = (lat, lon) => page.mouse.click(box.x + (lon + 180) / 360 * box.width,
                                                 box.y + (90 - lat) / 180 * box.height);
    const routeText = () => page.$eval('#route', (e) => e.textContent);
    const warned = () => page.$eval('#antipodal-warning', (e) => !e.hidden);
    await click(-40, -140);
    const decimals = Math.max(0, Math.ceil(-Math.log10(360 / box.width)));
    const shown = (await routeText()).match(/\((−?[\d.]+), (−?[\d.]+)\)/);
    check(`a clicked point is shown to the ${decimals} decimal(s) that one pixel can tell apart`,
          shown !== null && shown.slice(1).every((x) => (x.split('.')[1] || '').length === decimals),
          await routeText());
    await click(-40, -130);  // completes that pair; the next click starts a new one
    await click(10, -90);
    await click(-10, 89.8);
    check('a nearly antipodal pair warns, with a link to the known limit',
          await warned() && await page.$eval('#antipodal-warning a', (a) => a.getAttribute('href')) === '#known-limit',
          await routeText());
    await click(51.47, -0.4543);
    await click(40.6413, -73.7781);
    await page.waitForSelector('#distance');
    const route = await page.$eval('#route', (e) => ({
      distance: e.querySelector('#distance').textContent,
      departs: e.querySelector('#departs').textContent,
      arrives: e.querySelector('#arrives').textContent,
    }));
    check('two clicks give the geodesic London to New York, with no warning',
          route.distance === '5,554.909 km' && route.departs === '287.98°' &&
          route.arrives === '231.38°' && !(await warned()), JSON.stringify(route));
    await query(page, 'SELECT a.name AS "from", b.name AS "to", ' +
                      'round(distance(a.lat, a.lon, b.lat, b.lon) / 1000, 1) AS km ' +
                      "FROM (SELECT 'London' AS name, 51.47 AS lat, -0.4543 AS lon) a, " +
                      "(SELECT 'New York' AS name, 40.6413 AS lat, -73.7781 AS lon) b");
    await page.screenshot({ path: screenshot });
    console.log(`screenshot: ${screenshot}`);
    check('no script error at 1280 px', page.errors.length === 0, page.errors.join('; '));

    const phone = await open(browser, server.url, 390, 844, 2);
    await phone.waitForSelector('body[data-ready="true"]');
    const fit = await phone.evaluate(() => {
      const map = document.getElementById('map');
      return { page: document.documentElement.scrollWidth, css: map.clientWidth, pixels: map.width };
    });
    check('at 390 px the page fits and the map is drawn at the screen\'s 2x',
          fit.page <= 390 && fit.css >= 300 && Math.abs(fit.pixels - 2 * fit.css) <= 4, JSON.stringify(fit));
    // London to New York on the phone's map: every city keeps a label, and
    // none covers the route's markers.
    const phoneBox = await (await phone.$('#map')).boundingBox();
    for (const [lat, lon] of [[51.47, -0.4543], [40.6413, -73.7781]]) {
      await phone.mouse.click(phoneBox.x + (lon + 180) / 360 * phoneBox.width,
                              phoneBox.y + (90 - lat) / 180 * phoneBox.height);
    }
    await phone.waitForSelector('#distance');
    const labels = (await phone.$eval('#map', (e) => e.dataset.labels)).split(',');
    check('at 390 px, with a route drawn, every one of the 16 cities has a label',
          labels.length === 16, labels.join(','));
    check('no script error at 390 px', phone.errors.length === 0, phone.errors.join('; '));

    const local = await open(browser, `file://${path.resolve(site)}/index.html`, 1280, 800, 1);
    await local.waitForFunction(() => document.getElementById('status').className === 'problem');
    const said = await local.$eval('#status', (e) => e.textContent);
    check('opened from file://, the page says it must be served, and how',
          /must be served over HTTP/.test(said) && /make serve/.test(said), said);

    // Offline after a first visit: the server gone, the page reloads from
    // its service worker's cache, draws the map and runs SQL.
    check('the page loads one loader, the ES module its worker imports too',
          !server.hits['/sqlite-geodesy.js'] && server.hits['/sqlite-geodesy.mjs'] >= 1, JSON.stringify(server.hits));
    const cached = () => page.evaluate(async () => [Boolean(navigator.serviceWorker.controller),
      Boolean(await caches.match('sqlite-geodesy.wasm')), Boolean(await caches.match('countries-50m.json'))].join());
    for (let waited = 0; await cached() !== 'true,true,true' && waited < WAIT_MS; waited += 200) {
      await new Promise((resolve) => setTimeout(resolve, 200));
    }
    server.close();
    server.closeAllConnections();
    page.errors = [];
    await page.reload();
    // Puppeteer's waits and element handles do not return here once the
    // server is gone (its utility world is never made again): the page is
    // driven and polled by plain evaluation instead.
    const until = async (predicate) => {
      for (let waited = 0; !(await page.evaluate(predicate)) && waited < WAIT_MS; waited += 100) {
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
    };
    await until(() => document.body.dataset.ready === 'true');
    await page.evaluate(() => {
      document.getElementById('sql').value = 'SELECT distance(0, 0, 0, 1) AS m';
      document.getElementById('results').replaceChildren();
      document.getElementById('run').click();
    });
    await until(() => document.getElementById('error').textContent !== '' ||
                      document.getElementById('results').childNodes.length > 0);
    const offline = await page.evaluate(() => document.getElementById('error').textContent ||
      Array.from(document.querySelectorAll('#results tr'), (r) => Array.from(r.cells, (c) => c.textContent)));
    await until(() => Boolean(document.getElementById('map').dataset.coastlines));
    const mapped = await page.evaluate(() => document.getElementById('map').dataset.coastlines);
    check('with the server gone, the page reloads from its cache, draws the map and runs SQL',
          JSON.stringify(offline) === '[["m"],["111319.49079327342"]]' && mapped === 'countries-50m.json' &&
          page.errors.length === 0, `${JSON.stringify(offline)}; ${mapped}; ${page.errors.join('; ')}`);
  } finally {
    server.close();
  }
});
