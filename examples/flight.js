#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// The route of a flight along the geodesic, Sydney to Los Angeles, with
// Node.js and better-sqlite3: length, bearings at departure and arrival,
// and the point halfway along.
//
//   npm install --prefix build better-sqlite3@12          (once)
//   NODE_PATH=build/node_modules node examples/flight.js [path/to/geodesy]
//
// The extension's path defaults to build/geodesy in the project folder.
'use strict';
const path = require('path');

let Database;
try {
  Database = require('better-sqlite3');
} catch (e) {
  console.error('better-sqlite3 is not installed: run "npm install --prefix build better-sqlite3@12" ' +
                'and then "NODE_PATH=build/node_modules node examples/flight.js"');
  process.exit(1);
}

const lib = process.argv[2] || path.join(__dirname, '..', 'build', 'geodesy');
const db = new Database(':memory:');
try {
  db.loadExtension(lib);
} catch (e) {
  console.error(`cannot load the extension from ${lib}: ${e.message}\n` +
                "Build it with 'make build' in the project folder, or pass its path: " +
                'node examples/flight.js path/to/geodesy');
  process.exit(1);
}

const route = { lat1: -33.9461, lon1: 151.1772, lat2: 33.9425, lon2: -118.4081 };
const row = db.prepare(`
  WITH leg AS (
    SELECT distance(:lat1, :lon1, :lat2, :lon2) AS metres,
           azimut_start(:lat1, :lon1, :lat2, :lon2) AS departure,
           azimut_end(:lat1, :lon1, :lat2, :lon2) AS arrival
  )
  SELECT metres, departure, arrival,
         project_lat(:lat1, :lon1, departure, metres / 2) AS midLat,
         project_lon(:lat1, :lon1, departure, metres / 2) AS midLon
  FROM leg`).get(route);

const wrapped = row.midLon - 360 * Math.round(row.midLon / 360);
console.log('SYD -> LAX');
console.log(`length:    ${(row.metres / 1000).toFixed(1)} km`);
console.log(`departure: ${row.departure.toFixed(2)} degrees`);
console.log(`arrival:   ${row.arrival.toFixed(2)} degrees`);
console.log(`halfway:   ${row.midLat.toFixed(4)}, ${wrapped.toFixed(4)} (project_lon gave ${row.midLon.toFixed(4)})`);
