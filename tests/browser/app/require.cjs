// SPDX-License-Identifier: MIT
// The same app written with require(), as CommonJS browser code is (.cjs,
// as the app's package is ES modules): webpack resolves the package's
// CommonJS entry (apps_test.js).
const initSqliteGeodesy = require('sqlite-geodesy-wasm');

const report = {};
window.report = report;
initSqliteGeodesy().then(({ Database }) => {
  const db = new Database();
  report.page = db.exec('SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)')[0].values[0];
  db.close();
  report.done = true;
}, (error) => { report.error = error.message; });
