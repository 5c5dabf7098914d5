#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Loads the extension into Node.js and checks every function against
// checks.tsv.
//
//   node node_host.js path/to/geodesy[.so]     better-sqlite3 from this
//                                              folder's node_modules (make
//                                              hosts installs it there)
//   node node_host.js --package VERSION DRIVER the installed sqlite-geodesy
//                                              package (whose version must be
//                                              VERSION) loads itself into
//                                              DRIVER (better-sqlite3 or
//                                              libsql), both resolved from
//                                              the current folder
//
// Exits 77 (skipped) when better-sqlite3 is missing here, unless
// GEODESY_REQUIRE_HOSTS is set.
'use strict';
const fs = require('fs');
const path = require('path');

function fromHere(name) {
  return require(require.resolve(name, { paths: [process.cwd()] }));
}

let db;
if (process.argv[2] === '--package') {
  const [version, driver] = process.argv.slice(3);
  const geodesy = fromHere('sqlite-geodesy');
  if (geodesy.version !== version) {
    console.log(`FAIL sqlite-geodesy's version is ${geodesy.version}, not ${version}`);
    process.exit(1);
  }
  const Database = fromHere(driver);
  db = new Database(':memory:');
  geodesy.load(db);
} else {
  let Database;
  try {
    Database = require(path.join(__dirname, 'node_modules', 'better-sqlite3'));
  } catch (e) {
    console.error(`better-sqlite3 is not installed in ${__dirname}: run "make hosts" (${e.message})`);
    process.exit(process.env.GEODESY_REQUIRE_HOSTS ? 1 : 77);
  }
  db = new Database(':memory:');
  db.loadExtension(process.argv[2]);
}

let passed = 0;
let failed = 0;
const lines = fs.readFileSync(path.join(__dirname, 'checks.tsv'), 'utf8').split('\n');
for (const line of lines) {
  if (!line.trim() || line.startsWith('#')) continue;
  const [sql, expected] = line.split('\t');
  const got = db.prepare(`SELECT ${sql} AS v`).get().v;
  const want = Number(expected);
  if (typeof got === 'number' && Math.abs(got - want) <= 1e-12 * Math.abs(want)) {
    passed++;
  } else {
    failed++;
    console.log(`FAIL ${sql}: ${got}, expected ${expected}`);
  }
}

try {
  db.prepare('SELECT distance(1, 2, 3)').get();
  failed++;
  console.log('FAIL a 3-argument call did not fail');
} catch (e) {
  if (e.message.includes('wrong number of arguments to function distance()')) passed++;
  else { failed++; console.log(`FAIL unexpected error for a 3-argument call: ${e.message}`); }
}

const version = db.prepare('SELECT sqlite_version() AS v').get().v;
console.log(`node ${process.version}, SQLite ${version}: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
