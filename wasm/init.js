// SPDX-License-Identifier: MIT
// The package's entry point, after the module's factory:
//
//   initSqliteGeodesy(options?) -> Promise<{ Database, Statement, sqliteVersion }>
//
// options are the module's own (locateFile, wasmBinary); by default the
// loader finds sqlite-geodesy.wasm beside this file. In Node.js the file is
// read from disk here, since the loader would try to fetch() a path.
// CommonJS gets the function as module.exports (and .default); a page or a
// Web Worker that loads this file as a classic script gets the global
// initSqliteGeodesy.
function initSqliteGeodesy(options) {
  var settings = Object.assign({}, options);
  var isNode = typeof process === 'object' && process.versions != null &&
               process.versions.node != null && typeof window === 'undefined' &&
               typeof importScripts === 'undefined';
  if (isNode && !settings.wasmBinary && !settings.locateFile) {
    settings.wasmBinary = require('fs').readFileSync(
      require('path').join(__dirname, 'sqlite-geodesy.wasm'));
  }
  return createGeodesyModule(settings).then(function (module) {
    return {
      Database: module.Database,
      Statement: module.Statement,
      sqliteVersion: module.sqliteVersion(),
    };
  });
}

if (typeof module === 'object' && module.exports) {
  module.exports = initSqliteGeodesy;
  module.exports.default = initSqliteGeodesy;
}
