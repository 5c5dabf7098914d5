// SPDX-License-Identifier: MIT
// The demo page's service worker: after a first visit the page works
// offline. Every request goes to the network first, so that a changed site
// shows at once, and what comes back is kept; without a network the kept
// copy answers. Installing keeps the small files; the page itself keeps
// the module's bytes and the coastlines it fetched (demo.js), so that the
// first visit downloads nothing twice. A desktop's 1:50m coastlines, if
// they were never kept, fall back to the 1:110m ones.
'use strict';

const CACHE = 'sqlite-geodesy-demo';
const SMALL_FILES = ['./', 'index.html', 'demo.css', 'demo.js', 'sql-worker.mjs', 'index.browser.mjs',
  'worker.mjs', 'sqlite-geodesy.mjs', 'topojson-client.min.js', 'countries-110m.json'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(SMALL_FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(self.clients.claim());
});

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(fetch(request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      event.waitUntil(caches.open(CACHE).then((cache) => cache.put(request, copy)));
    }
    return response;
  }, (offline) => caches.match(request, { ignoreSearch: true })
    .then((kept) => kept || (/countries-50m\.json$/.test(request.url) ? caches.match('countries-110m.json') : null))
    .then((kept) => {
      if (kept) return kept;
      throw offline;
    })));
});
