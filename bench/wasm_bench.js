#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// ns per row of distance() over a million-row table, and the time of a
// 50 000-row import: the WebAssembly module against the native module, both
// under this Node.js, in the same run.
//
//   node bench/wasm_bench.js build-wasm/package build/geodesy.so
//
// The native module runs in better-sqlite3 (make hosts installs it into
// tests/hosts). Both engines build the same table with the same SQL, and
// each query's time is the best of five runs. The floor is a scan that
// reads the same four columns and adds them, so that "above the floor" is
// what the function itself costs per row.
'use strict';
const path = require('path');

const [wasmPackage, nativeModule] = process.argv.slice(2);
const ROWS = 1000000;
const RUNS = 5;

const FILL = `
  CREATE TABLE pair(lat1 REAL, lon1 REAL, lat2 REAL, lon2 REAL);
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ${ROWS})
  INSERT INTO pair SELECT (i * 7919 % 17999) / 100.0 - 90, (i * 104729 % 35999) / 100.0 - 180,
                          (i * 1299709 % 17989) / 100.0 - 90, (i * 15485863 % 35993) / 100.0 - 180
  FROM n;`;
const QUERIES = {
  floor: 'SELECT max(lat1 + lon1 + lat2 + lon2) FROM pair',
  distance: 'SELECT max(distance(lat1, lon1, lat2, lon2)) FROM pair',
  project_lat: 'SELECT max(project_lat(lat1, lon1, lon2, lat2 * 1e5)) FROM pair',
};

function best(run) {
  let fastest = Infinity;
  let value;
  for (let i = 0; i < RUNS; i++) {
    const start = process.hrtime.bigint();
    value = run();
    fastest = Math.min(fastest, Number(process.hrtime.bigint() - start));
  }
  return { ns: fastest / ROWS, value };
}

function measure(name, query) {
  const out = {};
  for (const [label, sql] of Object.entries(QUERIES)) out[label] = best(() => query(sql));
  return { name, ...out };
}

async function main() {
  const initSqliteGeodesy = require(path.resolve(wasmPackage));
  const { Database: WasmDatabase, sqliteVersion } = await initSqliteGeodesy();
  const wasm = new WasmDatabase();
  wasm.exec(FILL);

  const Native = require(path.join(__dirname, '..', 'tests', 'hosts', 'node_modules', 'better-sqlite3'));
  const native = new Native(':memory:');
  native.loadExtension(path.resolve(nativeModule));
  native.exec(FILL);

  const results = [
    measure(`WebAssembly (SQLite ${sqliteVersion})`, (sql) => wasm.exec(sql)[0].values[0][0]),
    measure(`native, better-sqlite3 (SQLite ${native.prepare('SELECT sqlite_version()').pluck().get()})`,
            (sql) => native.prepare(sql).pluck().get()),
  ];
  console.log(`${ROWS.toLocaleString('en')} rows, best of ${RUNS} runs, Node.js ${process.version}\n`);
  console.log('| module | floor scan (ns/row) | distance (ns/row) | above the floor | ' +
              'project_lat (ns/row) | above the floor |');
  console.log('|---|---:|---:|---:|---:|---:|');
  for (const r of results) {
    const f = (x) => x.toFixed(0);
    console.log(`| ${r.name} | ${f(r.floor.ns)} | ${f(r.distance.ns)} | ${f(r.distance.ns - r.floor.ns)} | ` +
                `${f(r.project_lat.ns)} | ${f(r.project_lat.ns - r.floor.ns)} |`);
  }
  const [w, n] = results;
  const ratio = (k) => ((w[k].ns - w.floor.ns) / (n[k].ns - n.floor.ns)).toFixed(2);
  console.log(`\nAbove the floor, the WebAssembly module takes ${ratio('distance')} times the native ` +
              `module's time for distance and ${ratio('project_lat')} times for project_lat.`);
  inserts(WasmDatabase, Native);
  const maxDistance = [w.distance.value, n.distance.value];
  console.log(`max(distance) over the table: ${maxDistance[0]} (WebAssembly), ${maxDistance[1]} (native)`);
  wasm.close();
  native.close();
}

// Writes: 50 000 rows (a text and three numbers) through one prepared
// INSERT in one transaction, as an import does; best of five runs each.
function inserts(WasmDatabase, Native) {
  const N = 50000;
  const rows = Array.from({ length: N }, (_, i) =>
    [`place ${i}`, (i * 7919 % 17999) / 100 - 90, (i * 104729 % 35999) / 100 - 180, i]);
  const schema = 'CREATE TABLE p(name TEXT, lat REAL, lon REAL, n INTEGER)';
  const timed = (run) => {
    let fastest = Infinity;
    for (let i = 0; i < RUNS; i++) {
      const start = process.hrtime.bigint();
      run();
      fastest = Math.min(fastest, Number(process.hrtime.bigint() - start) / 1e6);
    }
    return fastest;
  };
  const wasmMs = timed(() => {
    const db = new WasmDatabase();
    db.run(schema);
    db.run('BEGIN');
    const insert = db.prepare('INSERT INTO p VALUES (?, ?, ?, ?)');
    for (const row of rows) insert.run(row);
    insert.free();
    db.run('COMMIT');
    db.close();
  });
  const nativeMs = timed(() => {
    const db = new Native(':memory:');
    db.exec(schema);
    const insert = db.prepare('INSERT INTO p VALUES (?, ?, ?, ?)');
    db.transaction(() => { for (const row of rows) insert.run(row); })();
    db.close();
  });
  console.log(`\n${N.toLocaleString('en')} rows inserted through one prepared statement in one transaction: ` +
              `${wasmMs.toFixed(0)} ms (WebAssembly), ${nativeMs.toFixed(0)} ms (native), ` +
              `${(wasmMs / nativeMs).toFixed(2)} times.`);
  return wasmMs / nativeMs;
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
