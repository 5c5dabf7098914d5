// SPDX-License-Identifier: MIT
// The CommonJS and classic-script entry point, after the module's factory:
//
//   initSqliteGeodesy(options?) -> Promise<{ Database, Statement, sqliteVersion }>
//
// options are the module's own (locateFile, wasmBinary); by default the
// module's bytes are found beside this file. In Node.js they are read from
// disk here, where locateFile may give a path or a file: URL, since the
// loader would try to fetch() them. CommonJS gets the function as
// module.exports (and .default); a page or a Web Worker that loads this
// file as a classic script gets the global initSqliteGeodesy.
function initSqliteGeodesy(options) {
  var settings = Object.assign({}, options);
  var isNode = typeof process === 'object' && process.versions != null &&
               process.versions.node != null && typeof window === 'undefined' &&
               typeof importScripts === 'undefined';
  if (isNode && !settings.wasmBinary) {
    var file = String(settings.locateFile
      ? settings.locateFile('sqlite-geodesy.wasm', __dirname + '/')
      : require('path').join(__dirname, 'sqlite-geodesy.wasm'));
    try {
      if (file.startsWith('file:')) file = require('url').fileURLToPath(file);
      settings.wasmBinary = require('fs').readFileSync(file);
    } catch (error) {
      return Promise.reject(new Error('could not read ' + file + ': ' + error.message));
    }
  }
  return createGeodesyModule(settings).then(function (module) {
    return module['api'];
  });
}

if (typeof module === 'object' && module.exports) {
  module.exports = initSqliteGeodesy;
  module.exports.default = initSqliteGeodesy;
}
