// SPDX-License-Identifier: MIT
// In a page or a Worker the module's bytes are fetched here rather than by
// the loader, so that a failure names the URL it tried and says what to do
// (the loader's own message is "both async and sync fetching of the wasm
// failed"). Runs at the top of the module's factory: wasmBinaryFile and
// readyPromiseReject are the loader's, set by the time this is called.
// A WebAssembly module starts with the four bytes \0asm. A server that
// answers its URL with something else (a single-page app's fallback
// index.html, a dev server whose bundler moved the script) otherwise gives
// only the compiler's "expected magic word 00 61 73 6d".
function checkWasmBytes(url, bytes, type) {
  if (bytes.length >= 4 && bytes[0] === 0 && bytes[1] === 0x61 && bytes[2] === 0x73 && bytes[3] === 0x6d) {
    return;
  }
  var start = new TextDecoder().decode(bytes.subarray(0, 64)).trim();
  var what = bytes.length === 0 ? 'an empty body'
    : /^<(!doctype|html|head|body|!--)/i.test(start) ? 'an HTML page (' + type + ')'
    : bytes.length + ' bytes that are not WebAssembly (' + type + ', starting ' +
      JSON.stringify(start.slice(0, 16)) + ')';
  throw new Error('could not load ' + url + ': the server sent ' + what + ' instead of ' +
    'sqlite-geodesy.wasm. Likely causes: a single-page app whose fallback answers every ' +
    'unknown URL with index.html; a bundler dev server that pre-bundled the package away from ' +
    'its .wasm (Vite: optimizeDeps: { exclude: [\'sqlite-geodesy-wasm\'] }); or a locateFile ' +
    'option that points elsewhere');
}

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
      var type = response.headers.get('Content-Type') || 'no Content-Type';
      var whole = function (from) {
        return from.arrayBuffer().then(function (bytes) {
          checkWasmBytes(url, new Uint8Array(bytes), type);
          return WebAssembly.instantiate(bytes, imports);
        });
      };
      // Served as application/wasm, the module compiles while it
      // downloads. A copy of the bytes is kept for the message, should
      // they turn out not to be WebAssembly.
      if (typeof WebAssembly.instantiateStreaming !== 'function' ||
          !/^application\/wasm\b/i.test(type)) {
        return whole(response);
      }
      var copy = response.clone();
      return WebAssembly.instantiateStreaming(response, imports).then(function (result) {
        if (copy.body) copy.body.cancel().catch(function () {});
        return result;
      }, function (error) {
        return copy.arrayBuffer().then(function (bytes) {
          checkWasmBytes(url, new Uint8Array(bytes), type);
          throw error;
        });
      });
    }, function (error) {
      throw new Error('could not fetch ' + url + ' (' + error.message + ')' + (fromFile
        ? ': a page opened from file:// cannot fetch it. Serve the folder over HTTP instead, ' +
          'for example with: python3 -m http.server'
        : ''));
    }).then(function (result) {
      receive(result.instance, result.module);
    }).catch(readyPromiseReject);
    return {};
  };
}
