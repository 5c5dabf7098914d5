// SPDX-License-Identifier: MIT
// The ES module entry for Node.js: the CommonJS entry's init function, with
// the module's bytes found through new URL('sqlite-geodesy.wasm',
// import.meta.url), which bundlers that build server code (webpack, and so
// Next.js) trace and copy, where they rewrite the __dirname that the
// CommonJS entry uses.
//
//   import initSqliteGeodesy from 'sqlite-geodesy-wasm';
//   const { Database } = await initSqliteGeodesy();
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const initCommonJS = require('./sqlite-geodesy.js');
const WASM = new URL('sqlite-geodesy.wasm', import.meta.url);

export default function initSqliteGeodesy(options) {
  const settings = Object.assign({}, options);
  if (!settings.wasmBinary && !settings.locateFile) {
    try {
      settings.wasmBinary = readFileSync(WASM);
    } catch (error) {
      const where = WASM.protocol === 'file:' ? fileURLToPath(WASM) : WASM.href;
      return Promise.reject(new Error(`could not read ${where}: ${error.message}. If a bundler built ` +
        'this code, it left the package\'s sqlite-geodesy.wasm behind: keep the package out of the ' +
        'bundle (Next.js: serverExternalPackages: [\'sqlite-geodesy-wasm\']), or give the locateFile ' +
        'or wasmBinary option'));
    }
  }
  return initCommonJS(settings);
}

export { initSqliteGeodesy };
