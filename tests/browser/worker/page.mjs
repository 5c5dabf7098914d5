// SPDX-License-Identifier: MIT
// What worker_test.js checks, run in the page, which imports only the
// worker API (the module itself loads in the workers): each case's
// outcome as text on window.results.
import { connect, isSaveConflict, isSqliteError, isStorageError } from './worker.mjs';

const outcome = (promise) => promise.then((value) => `ok ${JSON.stringify(value)}`, (error) => `error ${error.message}`);
const worker = (file) => new Worker(new URL(file, import.meta.url), { type: 'module' });

window.results = (async () => {
  const results = {};
  // Calls made at once, to a worker that awaits 1.5 s before serve().
  const late = connect(worker('late-worker.mjs'));
  const db = late.open();
  results.late = await outcome(db.then((d) => d.get('SELECT distance(0, 0, 0, 1) AS m'))
    .then((row) => row.m.toFixed(3)));
  // SQLite's errors, told apart with the helpers from the worker API.
  const error = await (await db).run('SELECT nothing').then(() => null, (e) => e);
  results.helpers = [isSqliteError(error), error && error.code, isSaveConflict(error), isStorageError(error),
    isSqliteError(new Error('plain'))].join(' ');
  late.terminate();
  // A script that is not there, named by the url option.
  results.missing = await outcome(connect(worker('missing-worker.mjs'), { url: 'missing-worker.mjs' }).open());
  // A script that never serves.
  results.silent = await outcome(connect(worker('silent-worker.mjs'), { readyMs: 2000 }).open());
  // In the page: the module compiles while it downloads, and bytes served
  // as WebAssembly that are not are named.
  const streamed = [];
  const instantiateStreaming = WebAssembly.instantiateStreaming;
  WebAssembly.instantiateStreaming = (source, imports) => {
    streamed.push(source);
    return instantiateStreaming(source, imports);
  };
  const { default: initSqliteGeodesy } = await import('./index.browser.mjs');
  results.streaming = await outcome(initSqliteGeodesy().then((api) => `${streamed.length} ${api.sqliteVersion}`));
  results.garbage = await outcome(initSqliteGeodesy({ locateFile: () => 'not-wasm.wasm' }));
  return results;
})();
