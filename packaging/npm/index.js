// SPDX-License-Identifier: MIT
// sqlite-geodesy for Node.js: the prebuilt module for this platform, and a
// one-line load into a better-sqlite3 or libsql database.
//
//   const Database = require('better-sqlite3');
//   const geodesy = require('sqlite-geodesy');
//   const db = new Database(':memory:');
//   geodesy.load(db);
//   db.prepare('SELECT distance(0, 0, 0, 1) AS m').get();   // { m: 111319.49... }
'use strict';
const path = require('path');

// process.platform-process.arch -> the module inside this package.
const MODULES = {
  'linux-x64': 'linux-x64/geodesy.so',
  'linux-arm64': 'linux-arm64/geodesy.so',
  'win32-x64': 'win32-x64/geodesy.dll',
};

function getLoadablePath() {
  const platform = `${process.platform}-${process.arch}`;
  const module = MODULES[platform];
  if (!module) {
    throw new Error(`sqlite-geodesy has no prebuilt module for ${platform}; ` +
                    `it supports ${Object.keys(MODULES).join(', ')}`);
  }
  return path.join(__dirname, 'lib', module);
}

// Any database with loadExtension(path): better-sqlite3, libsql, or
// node:sqlite's DatabaseSync opened with { allowExtension: true }.
function load(db) {
  db.loadExtension(getLoadablePath());
}

module.exports = { getLoadablePath, load, version: require('./package.json').version };
