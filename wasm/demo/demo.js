// SPDX-License-Identifier: MIT
// The demo page: a world map on which two clicks draw the geodesic between
// them (from project_lat/project_lon steps along it), and a SQL box whose
// queries run in a Web Worker.
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

const EXAMPLES = {
  'Heathrow to JFK': document.getElementById('sql').value,
  '1000 km from the pole':
    'SELECT project_lat(90, 10, 0, 1e6) AS lat, project_lon(90, 10, 0, 1e6) AS lon;',
  'Cities table':
    "CREATE TABLE IF NOT EXISTS city(name TEXT, lat REAL, lon REAL);\n" +
    'DELETE FROM city;\n' +
    'INSERT INTO city VALUES ' +
    CITIES.map(([n, lat, lon]) => `('${n}', ${lat}, ${lon})`).join(', ') + ';\n' +
    'SELECT a.name AS "from", b.name AS "to", round(distance(a.lat, a.lon, b.lat, b.lon) / 1000, 1) AS km\n' +
    'FROM city a JOIN city b ON a.name < b.name ORDER BY km DESC LIMIT 10;',
  'Within 3000 km of Dubai':
    "SELECT name, round(distance(25.2532, 55.3657, lat, lon) / 1000) AS km FROM city\n" +
    "WHERE km < 3000 ORDER BY km;  -- run 'Cities table' first",
  'Wrap project_lon':
    'SELECT lon, lon - 360 * round(lon / 360.0) AS wrapped\n' +
    'FROM (SELECT project_lon(0, 170, 90, 2e6) AS lon);',
  'An error': 'SELECT distance(1, 2, 3);',
};

const canvas = document.getElementById('map');
const context = canvas.getContext('2d');
const route = document.getElementById('route');
let db = null;
let points = [];

function toPixel(lat, lon) {
  const wrapped = lon - 360 * Math.round(lon / 360);
  return [(wrapped + 180) / 360 * canvas.width, (90 - lat) / 180 * canvas.height];
}

function drawMap() {
  context.fillStyle = '#dfeaf3';
  context.fillRect(0, 0, canvas.width, canvas.height);
  context.lineWidth = 1;
  for (let lon = -180; lon <= 180; lon += 15) {
    context.strokeStyle = lon % 90 === 0 ? '#7f97ad' : '#b6c6d5';
    const [x] = toPixel(0, lon === 180 ? 179.999 : lon);
    context.beginPath(); context.moveTo(x, 0); context.lineTo(x, canvas.height); context.stroke();
  }
  for (let lat = -75; lat <= 75; lat += 15) {
    context.strokeStyle = lat === 0 ? '#7f97ad' : '#b6c6d5';
    const [, y] = toPixel(lat, 0);
    context.beginPath(); context.moveTo(0, y); context.lineTo(canvas.width, y); context.stroke();
  }
  context.font = '11px system-ui, sans-serif';
  for (const [name, lat, lon] of CITIES) {
    const [x, y] = toPixel(lat, lon);
    context.fillStyle = '#1d2733';
    context.beginPath(); context.arc(x, y, 2.5, 0, 2 * Math.PI); context.fill();
    context.fillStyle = '#3c4d5e';
    // Beside the dot, or under it where the map's edge would cut it.
    const width = context.measureText(name).width;
    if (x + 4 + width < canvas.width) context.fillText(name, x + 4, y - 3);
    else context.fillText(name, x - width, y + 13);
  }
}

function drawPoint([lat, lon], label) {
  const [x, y] = toPixel(lat, lon);
  context.fillStyle = '#c2185b';
  context.beginPath(); context.arc(x, y, 5, 0, 2 * Math.PI); context.fill();
  context.font = 'bold 13px system-ui, sans-serif';
  context.fillText(label, x + 6, y + 14);
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
    if (previous === null || Math.abs(x - previous) > canvas.width / 2) context.moveTo(x, y);
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

function describe(point) {
  const city = CITIES.find(([, lat, lon]) => lat === point[0] && lon === point[1]);
  return (city ? city[0] + ' ' : '') + `(${fixed(point[0], 4)}, ${fixed(point[1], 4)})`;
}

function show() {
  drawMap();
  points.forEach((p, i) => drawPoint(p, 'AB'[i]));
  if (points.length < 2) {
    route.innerHTML = points.length ? `<b>A</b> ${describe(points[0])}. Now click an end point.`
                                    : 'Click a start point on the map.';
    return;
  }
  const { metres, departs, arrives } = drawGeodesic(points[0], points[1]);
  const km = (metres / 1000).toLocaleString('en', { minimumFractionDigits: 3, maximumFractionDigits: 3 });
  route.innerHTML =
    `<b>A</b> ${describe(points[0])} → <b>B</b> ${describe(points[1])}<br>` +
    `distance <span id="distance" data-metres="${metres}">${km} km</span>, ` +
    `departs at <span id="departs">${fixed(departs, 2)}°</span>, ` +
    `arrives at <span id="arrives">${fixed(arrives, 2)}°</span>`;
}

// A click picks the point under it, or the city within 6 pixels.
canvas.addEventListener('click', (event) => {
  if (!db) return;
  const box = canvas.getBoundingClientRect();
  const x = (event.clientX - box.left) * canvas.width / box.width;
  const y = (event.clientY - box.top) * canvas.height / box.height;
  let point = [Math.round((90 - y / canvas.height * 180) * 100) / 100,
               Math.round((x / canvas.width * 360 - 180) * 100) / 100];
  for (const [, lat, lon] of CITIES) {
    const [cx, cy] = toPixel(lat, lon);
    if (Math.hypot(cx - x, cy - y) <= 6) point = [lat, lon];
  }
  points = points.length === 2 ? [point] : points.concat([point]);
  show();
});

// The SQL box.
const worker = new Worker('sql-worker.js');
const sqlBox = document.getElementById('sql');
const runButton = document.getElementById('run');
const errorBox = document.getElementById('error');
const resultsBox = document.getElementById('results');
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

function runQuery() {
  const id = ++lastQuery;
  errorBox.textContent = '';
  worker.postMessage({ id, sql: sqlBox.value });
}

worker.onmessage = (event) => {
  const { id, results, error } = event.data;
  if (id !== lastQuery) return;
  if (error !== undefined) { errorBox.textContent = error; resultsBox.replaceChildren(); }
  else showResults(results);
};

for (const [label, sql] of Object.entries(EXAMPLES)) {
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = label;
  button.addEventListener('click', () => { sqlBox.value = sql; runQuery(); });
  document.getElementById('examples').appendChild(button);
}
runButton.addEventListener('click', runQuery);
sqlBox.addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) { event.preventDefault(); runQuery(); }
});

drawMap();
initSqliteGeodesy().then((sqlite) => {
  db = new sqlite.Database();
  runButton.disabled = false;
  document.getElementById('status').textContent = `Ready: SQLite ${sqlite.sqliteVersion}.`;
  document.body.dataset.ready = 'true';
}, (error) => {
  document.getElementById('status').textContent = `The module did not load: ${error}`;
});
