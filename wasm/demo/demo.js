// SPDX-License-Identifier: MIT
// The demo page: a world map on which two clicks draw the geodesic between
// them (from project_lat/project_lon steps along it), and a SQL box whose
// queries run in a Web Worker on a database saved in the browser.
'use strict';

const CITIES = [
  ['London', 51.47, -0.4543], ['New York', 40.6413, -73.7781], ['Tokyo', 35.5494, 139.7798],
  ['Sydney', -33.9399, 151.1753], ['Los Angeles', 33.9416, -118.4085],
  ['Cape Town', -33.9715, 18.6021], ['São Paulo', -23.4356, -46.4731],
  ['Singapore', 1.3644, 103.9915], ['Dubai', 25.2532, 55.3657], ['Moscow', 55.9726, 37.4146],
  ['Reykjavík', 63.985, -22.6056], ['Honolulu', 21.3187, -157.9225],
  ['Auckland', -37.0082, 174.785], ['Anchorage', 61.1743, -149.9962],
  ['Nairobi', -1.3192, 36.9278], ['Lima', -12.0241, -77.112],
];

// Each example that needs the cities makes their table first, so that any
// of them can run alone, in any order, and again; the box shows only the
// query.
const CITY_TABLE =
  'CREATE TABLE IF NOT EXISTS city(name TEXT PRIMARY KEY, lat REAL, lon REAL);\n' +
  'INSERT OR IGNORE INTO city VALUES ' +
  CITIES.map(([n, lat, lon]) => `('${n}', ${lat}, ${lon})`).join(', ') + ';\n';
const EXAMPLES = {
  'Heathrow to JFK': document.getElementById('sql').value,
  '1000 km from the pole':
    'SELECT project_lat(90, 10, 0, 1e6) AS lat, project_lon(90, 10, 0, 1e6) AS lon;',
  'Longest routes':
    'SELECT a.name AS "from", b.name AS "to", printf(\'%.1f\', distance(a.lat, a.lon, b.lat, b.lon) / 1000) AS km\n' +
    'FROM city a JOIN city b ON a.name < b.name\n' +
    'ORDER BY distance(a.lat, a.lon, b.lat, b.lon) DESC LIMIT 10;',
  'Within 4000 km of Dubai':
    'SELECT name, round(distance(25.2532, 55.3657, lat, lon) / 1000) AS km FROM city\n' +
    'WHERE distance(25.2532, 55.3657, lat, lon) < 4e6 ORDER BY km;',
  'Wrap project_lon':
    'SELECT lon, lon - 360 * round(lon / 360.0) AS wrapped\n' +
    'FROM (SELECT project_lon(0, 170, 90, 2e6) AS lon);',
  'An error': 'SELECT distance(1, 2, 3);',
};
const NEEDS_CITIES = new Set(['Longest routes', 'Within 4000 km of Dubai']);

const status = document.getElementById('status');
// How near a click or a tap must land to pick a city: a finger is less
// precise than a mouse.
const TAP_RADIUS = matchMedia('(pointer: coarse)').matches ? 20 : 8;
const frame = document.getElementById('map-frame');
const canvas = document.getElementById('map');
const context = canvas.getContext('2d');
const route = document.getElementById('route');
const warning = document.getElementById('antipodal-warning');
let db = null;
let world = null;  // land and borders, as GeoJSON
let size = { width: 0, height: 0 };  // the map's size in CSS pixels
let points = [];

function toPixel(lat, lon) {
  const wrapped = lon - 360 * Math.round(lon / 360);
  return [(wrapped + 180) / 360 * size.width, (90 - lat) / 180 * size.height];
}

// The canvas holds devicePixelRatio pixels for each CSS pixel, so that
// lines and labels stay sharp on a 2x screen; drawing is in CSS pixels.
function resize() {
  const width = frame.clientWidth;
  const height = Math.round(width / 2);
  const ratio = window.devicePixelRatio || 1;
  canvas.style.height = `${height}px`;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  size = { width, height };
  show();
}

// The rings of land's polygons, as lists of [lon, lat].
function rings(geometry) {
  const polygons = geometry.type === 'Polygon' ? [geometry.coordinates] : geometry.coordinates;
  return polygons.flat();
}

// Traces lines of [lon, lat], each kept continuous across ±180° (a step
// of more than 180° is taken the short way round) and drawn at three
// offsets of a turn, so that what crosses the map's edge comes back on
// the other side and no false line spans the map.
function trace(lines, closed) {
  for (const offset of [-360, 0, 360]) {
    for (const line of lines) {
      let previous = null;
      for (let [lon, lat] of line) {
        if (previous !== null) lon += 360 * Math.round((previous - lon) / 360);
        const x = (lon + offset + 180) / 360 * size.width;
        const y = (90 - lat) / 180 * size.height;
        if (previous === null) context.moveTo(x, y); else context.lineTo(x, y);
        previous = lon;
      }
      if (closed) context.closePath();
    }
  }
}

function drawMap() {
  context.fillStyle = '#dfeaf3';
  context.fillRect(0, 0, size.width, size.height);
  if (world) {
    const land = world.land.features.flatMap((feature) => rings(feature.geometry));
    context.beginPath();
    trace(land, true);
    context.fillStyle = '#efe8d6';
    context.fill('evenodd');
    context.beginPath();
    trace(land, true);
    context.strokeStyle = '#a89c80';
    context.lineWidth = 0.7;
    context.stroke();
    context.beginPath();
    trace(world.borders.coordinates, false);
    context.strokeStyle = '#c9bfa8';
    context.lineWidth = 0.6;
    context.stroke();
  }
  context.lineWidth = 0.5;
  context.strokeStyle = 'rgba(90, 120, 150, 0.35)';
  context.beginPath();
  for (let lon = -150; lon <= 150; lon += 30) {
    const [x] = toPixel(0, lon);
    context.moveTo(x, 0); context.lineTo(x, size.height);
  }
  for (let lat = -60; lat <= 60; lat += 30) {
    const [, y] = toPixel(lat, 0);
    context.moveTo(0, y); context.lineTo(size.width, y);
  }
  context.stroke();
  // Cities: every dot, then the labels that fit beside their dot, covering
  // no other label, dot or marker, each on a light halo so that
  // coastlines and the grid under it do not cut it.
  // A phone's map is a third as wide: smaller labels, so that all fit.
  const small = size.width < 500;
  context.font = small ? '10px system-ui, sans-serif' : '12px system-ui, sans-serif';
  const dots = CITIES.map(([, lat, lon]) => toPixel(lat, lon));
  context.fillStyle = '#1d2733';
  for (const [x, y] of dots) {
    context.beginPath(); context.arc(x, y, 2.5, 0, 2 * Math.PI); context.fill();
  }
  const overlaps = (a, b) => a[0] < b[2] && b[0] < a[2] && a[1] < b[3] && b[1] < a[3];
  const taken = dots.map(([x, y]) => [x - 3.5, y - 3.5, x + 3.5, y + 3.5]);
  // The clicked points' markers and their letters (drawPoint) are kept clear too.
  for (const point of points) {
    const [x, y] = toPixel(point[0], point[1]);
    taken.push([x - 6, y - 6, x + 6, y + 6], [x + 5, y + 3, x + 17, y + 18]);
  }
  context.lineJoin = 'round';
  // The places each label may take: beside its dot, on the map, and nearer
  // its own dot than any other (else it would name that one).
  const options = CITIES.map(([name], i) => {
    const [x, y] = dots[i];
    const width = context.measureText(name).width;
    // Above the dot on either side, then below it, then level with it,
    // then centred above or below; then the same a little further out, to
    // clear a route's marker on the city.
    const places = [[x + 4, y - 3], [x - 4 - width, y - 3], [x + 4, y + 13], [x - 4 - width, y + 13],
                    [x + 5, y + 4], [x - 5 - width, y + 4], [x - width / 2, y - 5], [x - width / 2, y + 16],
                    [x + 7, y - 6], [x - 7 - width, y - 6], [x - 7 - width, y + 16], [x - width / 2, y - 8],
                    [x - width / 2, y + 20], [x + 18, y + 4], [x + 4, y - 10], [x - 4 - width, y - 10],
                    [x + 4, y + 20], [x - 4 - width, y + 20], [x - width / 2, y - 13]];
    const gap = (b, [dx, dy]) => Math.hypot(Math.max(b[0] - dx, 0, dx - b[2]), Math.max(b[1] - dy, 0, dy - b[3]));
    return places.map((place) => {
      const [left, base] = place;
      return { place, box: [left - 1, base - (small ? 8 : 10), left + width + 1, base + 3] };
    }).filter(({ box: b }) => b[0] >= 0 && b[2] <= size.width && b[1] >= 0 && b[3] <= size.height &&
      !taken.some((t, j) => j !== i && overlaps(b, t)) &&
      dots.every((dot, j) => j === i || gap(b, dot) > gap(b, dots[i])));
  });
  // A search for places that name every city: each label in the first of
  // its places that the labels before it leave free, trying later ones
  // when a city further on finds none; a bounded number of steps, after
  // which the most cities named so far are drawn.
  // The cities with the fewest places go first, where a clash shows soonest.
  const order = CITIES.map((_, i) => i).sort((a, b) => options[a].length - options[b].length);
  let best = new Map();
  let steps = 0;
  const search = (k, placed, boxes) => {
    if (placed.size > best.size) best = new Map(placed);
    if (k === CITIES.length || best.size === CITIES.length || ++steps > 20000) return;
    if (placed.size + CITIES.length - k <= best.size) return;
    const city = order[k];
    for (const { place, box } of options[city]) {
      if (boxes.some((t) => overlaps(box, t))) continue;
      placed.set(city, place);
      boxes.push(box);
      search(k + 1, placed, boxes);
      boxes.pop();
      placed.delete(city);
      if (best.size === CITIES.length || steps > 20000) return;
    }
    search(k + 1, placed, boxes);  // this city unnamed
  };
  search(0, new Map(), []);
  const labelled = [];
  CITIES.forEach(([name], i) => {
    if (!best.has(i)) return;
    labelled.push(name);
    const [left, base] = best.get(i);
    context.strokeStyle = 'rgba(255, 255, 255, 0.75)';
    context.lineWidth = 3;
    context.strokeText(name, left, base);
    context.fillStyle = '#3c4d5e';
    context.fillText(name, left, base);
  });
  canvas.dataset.labels = labelled.join(',');  // which cities the map names, for tests
}

function drawPoint([lat, lon], label) {
  const [x, y] = toPixel(lat, lon);
  context.fillStyle = '#c2185b';
  context.beginPath(); context.arc(x, y, 5, 0, 2 * Math.PI); context.fill();
  context.font = 'bold 14px system-ui, sans-serif';
  context.fillText(label, x + 6, y + 15);
}

// The geodesic from a to b, drawn from points that project_lat and
// project_lon give at equal steps along it, split where it crosses the
// map's edge.
function drawGeodesic([lat1, lon1], [lat2, lon2]) {
  const [[metres, departs, arrives]] = db.exec(
    'SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)',
    [lat1, lon1, lat2, lon2])[0].values;
  const steps = Math.min(512, Math.max(64, Math.ceil(metres / 50000)));
  const step = db.prepare('SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)');
  context.strokeStyle = '#c2185b';
  context.lineWidth = 2;
  context.beginPath();
  let previous = null;
  for (let i = 0; i <= steps; i++) {
    const [lat, lon] = step.get([lat1, lon1, departs, metres * i / steps]);
    const [x, y] = toPixel(lat, lon);
    if (previous === null || Math.abs(x - previous) > size.width / 2) context.moveTo(x, y);
    else context.lineTo(x, y);
    previous = x;
  }
  step.free();
  context.stroke();
  return { metres, departs, arrives };
}

function fixed(x, digits) {
  return x.toFixed(digits).replace('-', '−');
}

// An azimuth to two decimals, in [0, 360): one just short of 360 rounds to
// 0.00, the same direction.
function azimuth(degrees) {
  const text = fixed(degrees, 2);
  return text === '360.00' ? '0.00' : text;
}

// A city by name with its coordinates as known; a clicked point with the
// decimals that a click can tell apart.
function describe(point) {
  const city = CITIES.find(([, lat, lon]) => lat === point[0] && lon === point[1]);
  if (city) return `${city[0]} (${fixed(point[0], 4)}, ${fixed(point[1], 4)})`;
  return `(${fixed(point[0], point.decimals)}, ${fixed(point[1], point.decimals)})`;
}

// Pairs in or near the band where the inverse iteration can go wrong: a
// longitude difference within a degree of 180 and the second point within
// a degree of the first one's antipodal parallel.
function nearlyAntipodal([lat1, lon1], [lat2, lon2]) {
  const difference = Math.abs((((lon2 - lon1) % 360) + 540) % 360 - 180);
  return difference >= 179 && Math.abs(lat1 + lat2) <= 1;
}

function show() {
  drawMap();
  points.forEach((p, i) => drawPoint(p, 'AB'[i]));
  warning.hidden = true;
  if (points.length < 2 || !db) {
    route.innerHTML = points.length ? `<b>A</b> ${describe(points[0])}. Now click an end point.`
                                    : 'Click a start point on the map.';
    return;
  }
  const { metres, departs, arrives } = drawGeodesic(points[0], points[1]);
  const km = (metres / 1000).toLocaleString('en', { minimumFractionDigits: 3, maximumFractionDigits: 3 });
  route.innerHTML =
    `<b>A</b> ${describe(points[0])} → <b>B</b> ${describe(points[1])}<br>` +
    `distance <span id="distance" data-metres="${metres}">${km} km</span>, ` +
    `departs at <span id="departs">${azimuth(departs)}°</span>, ` +
    `arrives at <span id="arrives">${azimuth(arrives)}°</span>`;
  warning.hidden = !nearlyAntipodal(points[0], points[1]);
}

// A click picks the city within 8 CSS pixels, or the point under it,
// rounded to the decimals that one pixel of this map can tell apart.
canvas.addEventListener('click', (event) => {
  if (!db) return;
  const box = canvas.getBoundingClientRect();
  const x = event.clientX - box.left;
  const y = event.clientY - box.top;
  const decimals = Math.max(0, Math.ceil(-Math.log10(360 / size.width)));
  const round = (v) => Number(v.toFixed(decimals));
  let point = [round(90 - y / size.height * 180), round(x / size.width * 360 - 180)];
  point.decimals = decimals;
  for (const [, lat, lon] of CITIES) {
    const [cx, cy] = toPixel(lat, lon);
    if (Math.hypot(cx - x, cy - y) <= TAP_RADIUS) point = [lat, lon];
  }
  points = points.length === 2 ? [point] : points.concat([point]);
  show();
});

// Browsers load neither WebAssembly, nor Workers, nor the map's data from
// a file:// page.
const served = location.protocol !== 'file:';

// The SQL box. Its queries run in a module Worker, through the package's
// worker API, on a database stored in the browser (durably where the
// browser can, else saved after each query), so that the user's tables
// survive a reload.
const sqlBox = document.getElementById('sql');
const runButton = document.getElementById('run');
const forgetButton = document.getElementById('forget');
const errorBox = document.getElementById('error');
const resultsBox = document.getElementById('results');
const SAVED_NAME = 'demo.db';
// The module's bytes are fetched and compiled once, here, and the worker
// is handed the compiled module rather than fetching it again. Should that
// fail, the page loads the module as usual, so that its error names the
// cause, and the worker fetches it itself.
// The page keeps what it fetched for the service worker's cache
// (offline.js), so that the page works offline after a first visit.
const OFFLINE_CACHE = 'sqlite-geodesy-demo';
function keep(url, response) {
  if (response.ok && typeof caches === 'object') {
    const copy = response.clone();
    caches.open(OFFLINE_CACHE).then((cache) => cache.put(url, copy)).catch(() => {});
  }
  return response;
}
if (served && 'serviceWorker' in navigator) navigator.serviceWorker.register('offline.js').catch(() => {});
const compiled = served ? WebAssembly.compileStreaming(fetch('sqlite-geodesy.wasm')
  .then((response) => keep('sqlite-geodesy.wasm', response))).catch(() => null) : Promise.resolve(null);
function fromCompiled(module) {
  return { instantiateWasm(imports, receive) {
    WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
    return {};
  } };
}
const sqlite = served ? import('./worker.mjs').then(({ connect }) => {
  const worker = new Worker('sql-worker.mjs', { type: 'module' });
  compiled.then((module) => worker.postMessage({ wasmModule: module }));
  return connect(worker);
}) : null;
let boxDatabase = null;  // a promise of the SQL box's database
let lastQuery = 0;

function cell(value) {
  const td = document.createElement('td');
  if (value === null) { td.textContent = 'NULL'; td.className = 'null'; }
  else if (value instanceof Uint8Array) td.textContent = `x'${Array.from(value, (b) => b.toString(16).padStart(2, '0')).join('')}'`;
  else td.textContent = String(value);
  return td;
}

function showResults(results) {
  resultsBox.replaceChildren();
  for (const { columns, values } of results) {
    const table = document.createElement('table');
    const head = table.insertRow();
    for (const name of columns) {
      const th = document.createElement('th'); th.textContent = name; head.appendChild(th);
    }
    for (const row of values) table.insertRow().append(...row.map(cell));
    resultsBox.appendChild(table);
  }
  if (!results.length) resultsBox.textContent = 'Done: no rows.';
}

// The saved database, or one in memory where this browser keeps nothing:
// then the tables last as long as the page.
function database() {
  if (boxDatabase === null) {
    boxDatabase = sqlite.then((client) => client.open(SAVED_NAME).catch(() => client.open()));
  }
  return boxDatabase;
}

async function runSql(sql) {
  const db = await database();
  let results;
  let failure = null;
  try {
    results = await db.exec(sql);
  } catch (error) {
    failure = error;  // statements before the one that failed have run: keep them too
  }
  if (db.stored) {
    try {
      await db.save();
    } catch (error) {
      if (error.code !== 'SAVE_CONFLICT') throw error;
      // Another tab saved its tables after this one read them: keep
      // theirs, and go on from them.
      await db.close();
      boxDatabase = null;
      await database();
      throw new Error('Not saved: another tab of this page saved its tables after this tab read ' +
                      'them. This tab now has that tab\'s tables; run your statement again.');
    }
  }
  if (failure) throw failure;
  return results;
}

async function forget() {
  const db = await database();
  await db.close();
  if (db.stored) await (await sqlite).remove(SAVED_NAME);
  boxDatabase = null;
  await database();
  return [];
}

// Runs task and shows what it gives, unless another has started since.
function send(task) {
  const id = ++lastQuery;
  errorBox.textContent = '';
  task().then((results) => {
    if (id === lastQuery) showResults(results);
  }, (error) => {
    if (id !== lastQuery) return;
    errorBox.textContent = error.message;
    resultsBox.replaceChildren();
  });
}

for (const [label, sql] of Object.entries(EXAMPLES)) {
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = label;
  button.addEventListener('click', () => {
    sqlBox.value = sql;
    send(() => (NEEDS_CITIES.has(label) ? runSql(CITY_TABLE) : Promise.resolve()).then(() => runSql(sql)));
  });
  document.getElementById('examples').appendChild(button);
}
runButton.addEventListener('click', () => send(() => runSql(sqlBox.value)));
forgetButton.addEventListener('click', () => send(forget));
sqlBox.addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    send(() => runSql(sqlBox.value));
  }
});

window.addEventListener('resize', resize);
resize();

if (!served) {
  status.textContent = 'This page must be served over HTTP: browsers do not load WebAssembly ' +
    'from a file:// page. From the project, run make serve and open http://127.0.0.1:8000/ ' +
    '(or run python3 -m http.server in this folder).';
  status.className = 'problem';
} else {
  // A phone's map is too small to show the 1:50m coastlines' detail: the
  // 1:110m ones are a seventh of the bytes.
  const coastlines = matchMedia('(max-width: 600px)').matches ? 'countries-110m.json' : 'countries-50m.json';
  fetch(coastlines).then((response) => keep(coastlines, response).json()).then((topology) => {
    world = {
      land: topojson.feature(topology, topology.objects.land),
      borders: topojson.mesh(topology, topology.objects.countries, (a, b) => a !== b),
    };
    canvas.dataset.coastlines = coastlines;  // which were drawn, for tests
    show();
  }, (error) => { status.textContent = `The map's data did not load: ${error.message}`; });
  // The ES module loader, the one the worker imports too: the page fetches
  // one loader, not two.
  compiled.then((module) => import('./index.browser.mjs').then(({ default: initSqliteGeodesy }) =>
    initSqliteGeodesy(module ? fromCompiled(module) : {}))).then((sqlite) => {
    db = new sqlite.Database();
    runButton.disabled = forgetButton.disabled = false;
    status.textContent = `Ready: SQLite ${sqlite.sqliteVersion}.`;
    document.body.dataset.ready = 'true';
    show();
  }, (error) => {
    status.textContent = `The module did not load: ${error.message}`;
    status.className = 'problem';
  });
}
