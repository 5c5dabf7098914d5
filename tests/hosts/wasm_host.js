#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The WebAssembly module as a host of the bit check (check_bits.py --host):
// reads 'inverse|direct a b c d' lines on standard input, each argument
// 'i<integer>' or the 16 hex digits of a double, binds them through the
// package's API and prints each result's hex bits, or NULL.
//
//   node wasm_host.js PACKAGE_DIR    (build-wasm/package, or an installed
//                                     node_modules/sqlite-geodesy-wasm)
'use strict';
const fs = require('fs');
const path = require('path');

const initSqliteGeodesy = require(path.resolve(process.argv[2]));

function argument(field) {
  if (field.startsWith('i')) return Number(field.slice(1));
  const view = new DataView(new ArrayBuffer(8));
  view.setBigUint64(0, BigInt('0x' + field));
  return view.getFloat64(0);
}

function hex(value) {
  if (value === null) return 'NULL';
  if (typeof value !== 'number') return `not-a-REAL:${value}`;
  const view = new DataView(new ArrayBuffer(8));
  view.setFloat64(0, value);
  return view.getBigUint64(0).toString(16).padStart(16, '0');
}

initSqliteGeodesy().then(({ Database }) => {
  const db = new Database();
  const statements = {
    inverse: db.prepare('SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), ' +
                        'azimut_end(?1, ?2, ?3, ?4)'),
    direct: db.prepare('SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)'),
  };
  const out = [];
  for (const line of fs.readFileSync(0, 'utf8').split('\n')) {
    if (!line) continue;
    const [problem, ...fields] = line.split(' ');
    out.push(statements[problem].get(fields.map(argument)).map(hex).join(' '));
  }
  db.close();
  process.stdout.write(out.join('\n') + '\n');
});
