// SPDX-License-Identifier: MIT
// In a page or a Worker the module's bytes are fetched here rather than by
// the loader, so that a failure names the URL it tried and says what to do
// (the loader's own message is "both async and sync fetching of the wasm
// failed"). Runs at the top of the module's factory: wasmBinaryFile and
// readyPromiseReject are the loader's, set by the time this is called.
if (!Module['instantiateWasm'] && !Module['wasmBinary'] && typeof fetch === 'function' &&
    !(typeof process === 'object' && process.versions && process.versions.node)) {
  Module['instantiateWasm'] = function (imports, receive) {
    var here = typeof location === 'object' ? location.href : undefined;
    var url = String(wasmBinaryFile);
    try {
      url = new URL(url, here).href;  // the full URL, for the messages below
    } catch (error) { /* keep it as given */ }
    var fromFile = /^file:/.test(url);
    fetch(url, { credentials: 'same-origin' }).then(function (response) {
      if (!response.ok) {
        throw new Error('could not fetch ' + url + ': HTTP ' + response.status +
          '. sqlite-geodesy.wasm must be served beside the script that loads it, or found ' +
          'by the locateFile option; a bundler that does not copy it (esbuild, Rollup) needs ' +
          'it copied beside the bundle');
      }
      return response.arrayBuffer();
    }, function (error) {
      throw new Error('could not fetch ' + url + ' (' + error.message + ')' + (fromFile
        ? ': a page opened from file:// cannot fetch it. Serve the folder over HTTP instead, ' +
          'for example with: python3 -m http.server'
        : ''));
    }).then(function (bytes) {
      return WebAssembly.instantiate(bytes, imports);
    }).then(function (result) {
      receive(result.instance, result.module);
    }).catch(readyPromiseReject);
    return {};
  };
}
