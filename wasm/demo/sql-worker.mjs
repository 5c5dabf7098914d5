// SPDX-License-Identifier: MIT
// The demo's SQL box runs its queries here, so that a long one never blocks
// the page: the package's worker API serves the page's calls. The page
// hands over the module it compiled ({ wasmModule }), so that its bytes are
// fetched once; when it has none (null), the worker fetches them itself.
import { serve } from './worker.mjs';

const compiled = new Promise((resolve) => {
  self.addEventListener('message', function handed({ data }) {
    if (!data || !('wasmModule' in data)) return;
    self.removeEventListener('message', handed);
    resolve(data.wasmModule);
  });
});

serve({
  instantiateWasm(imports, receive) {
    compiled.then((module) => module ||
      fetch('sqlite-geodesy.wasm').then((response) => response.arrayBuffer()).then((bytes) => WebAssembly.compile(bytes)))
      .then((module) => WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module)))
      // Thrown outside the promise, so that the page's worker API hears of it.
      .catch((error) => setTimeout(() => { throw error; }));
    return {};
  },
});
