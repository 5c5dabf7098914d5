#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The demo page in Debian's headless Chromium (make browser-test):
//
//   node demo_test.js SITE_DIR SCREENSHOT.png
//
// Serves SITE_DIR on 127.0.0.1 (a port the system picks), types a query
// into the SQL box (which runs in a Web Worker) and reads the table, runs a
// query SQLite refuses and reads its message, clicks London and New York
// on the map and reads the distance and azimuths, then saves a screenshot.
// Every wait is bounded, and the browser is ended by its PID if it does
// not close.
'use strict';
const { WAIT_MS, check, serve, run } = require('./harness');

const [site, screenshot] = process.argv.slice(2);

run('browser test', 120000, async (browser) => {
  const server = await serve(site);
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(WAIT_MS);
    await page.setViewport({ width: 1500, height: 600 });
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready="true"]');
    check('the module loads and the page is ready',
          /^Ready: SQLite 3\./.test(await page.$eval('#status', (e) => e.textContent)), 'status');

    // A query SQLite refuses, then one typed into the SQL box.
    await page.$eval('#sql', (e) => { e.value = 'SELECT distance(1, 2, 3)'; });
    await page.click('#run');
    await page.waitForFunction(() => document.getElementById('error').textContent !== '');
    const message = await page.$eval('#error', (e) => e.textContent);
    check("SQLite's error is shown, and the page goes on",
          message === 'wrong number of arguments to function distance()', message);

    await page.$eval('#sql', (e) => { e.value = ''; });
    await page.type('#sql', 'SELECT distance(0, 0, 0, 1) AS m, azimut_start(0, 0, 0, -1) AS az, ' +
                            'project_lon(0, 20, 45, 0) AS lon, typeof(project_lat(NULL, 0, 0, 0)) AS t');
    await page.keyboard.down('Control');
    await page.keyboard.press('Enter');
    await page.keyboard.up('Control');
    await page.waitForSelector('#results table');
    const table = await page.$$eval('#results tr', (rows) => rows.map((r) =>
      Array.from(r.cells, (c) => c.textContent)));
    check('the SQL box runs a query in its worker and shows the table',
          JSON.stringify(table) === JSON.stringify([['m', 'az', 'lon', 't'],
                                                    ['111319.49079327342', '270', '20', 'real']]),
          JSON.stringify(table));

    // Two clicks on the map: London Heathrow, then New York JFK.
    const box = await (await page.$('#map')).boundingBox();
    const click = (lat, lon) => page.mouse.click(box.x + (lon + 180) / 360 * box.width,
                                                 box.y + (90 - lat) / 180 * box.height);
    await click(51.47, -0.4543);
    await click(40.6413, -73.7781);
    await page.waitForSelector('#distance');
    const route = await page.$eval('#route', (e) => ({
      distance: e.querySelector('#distance').textContent,
      departs: e.querySelector('#departs').textContent,
      arrives: e.querySelector('#arrives').textContent,
    }));
    check('two clicks give the geodesic London to New York',
          route.distance === '5,554.909 km' && route.departs === '287.98°' &&
          route.arrives === '231.38°', JSON.stringify(route));
    check('no script error on the page', errors.length === 0, errors.join('; '));

    await page.screenshot({ path: screenshot });
    console.log(`screenshot: ${screenshot}`);
  } finally {
    server.close();
  }
});
