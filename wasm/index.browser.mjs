// SPDX-License-Identifier: MIT
// The ES module entry for browsers, Web Workers and bundlers: nothing in it
// or in the loader it imports refers to Node.js. The loader finds
// sqlite-geodesy.wasm with new URL('sqlite-geodesy.wasm', import.meta.url),
// which Vite and webpack resolve and copy by themselves; with esbuild or
// Rollup, copy the file beside the bundle (docs/browser.md).
//
//   import initSqliteGeodesy from 'sqlite-geodesy-wasm';
//   const { Database } = await initSqliteGeodesy();
import createGeodesyModule from './sqlite-geodesy.mjs';

export default function initSqliteGeodesy(options) {
  return createGeodesyModule(Object.assign({}, options)).then((module) => module.api);
}

export { initSqliteGeodesy };
