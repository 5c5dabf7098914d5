#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Loads the extension into Node.js with better-sqlite3 and checks every
// function against checks.tsv. Usage: node node_host.js path/to/geodesy[.so]
//
// better-sqlite3 is looked up in this folder's node_modules (`make hosts`
// installs it there). Exits 77 (skipped) when it is missing, unless
// GEODESY_REQUIRE_HOSTS is set.
'use strict';
const fs = require('fs');
const path = require('path');

let Database;
try {
  Database = require(path.join(__dirname, 'node_modules', 'better-sqlite3'));
} catch (e) {
  console.error(`better-sqlite3 is not installed in ${__dirname}: run "make hosts" (${e.message})`);
  process.exit(process.env.GEODESY_REQUIRE_HOSTS ? 1 : 77);
}

const db = new Database(':memory:');
db.loadExtension(process.argv[2]);

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
