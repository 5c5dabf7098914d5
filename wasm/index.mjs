// SPDX-License-Identifier: MIT
// The ES module entry for Node.js: the same init function as the CommonJS
// entry, as the default export.
//
//   import initSqliteGeodesy from 'sqlite-geodesy-wasm';
//   const { Database } = await initSqliteGeodesy();
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const initSqliteGeodesy = require('./sqlite-geodesy.js');

export default initSqliteGeodesy;
export { initSqliteGeodesy };
