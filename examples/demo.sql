-- SPDX-License-Identifier: MIT
-- Geodesics between a few world cities on the WGS 84 ellipsoid.
-- Run with: make demo   (or: sqlite3 :memory: -cmd ".load ./build/geodesy" < examples/demo.sql)
.headers on
.mode column

CREATE TEMP TABLE city(name TEXT PRIMARY KEY, lat REAL, lon REAL);
INSERT INTO city VALUES
  ('London',     51.4700,   -0.4543),   -- Heathrow
  ('New York',   40.6413,  -73.7781),   -- JFK
  ('Tokyo',      35.5494,  139.7798),   -- Haneda
  ('Sydney',    -33.9399,  151.1753),
  ('Singapore',   1.3644,  103.9915),
  ('Cape Town', -33.9715,   18.6021);

WITH route(f, t) AS (VALUES ('London', 'New York'), ('London', 'Tokyo'),
  ('New York', 'Tokyo'), ('Singapore', 'Sydney'), ('Cape Town', 'Sydney'))
SELECT a.name AS "from", b.name AS "to",
       printf('%.3f', distance(a.lat, a.lon, b.lat, b.lon) / 1000) AS km,
       printf('%.2f', azimut_start(a.lat, a.lon, b.lat, b.lon)) AS departs_deg,
       printf('%.2f', azimut_end(a.lat, a.lon, b.lat, b.lon)) AS arrives_deg
FROM route
JOIN city AS a ON a.name = route.f
JOIN city AS b ON b.name = route.t;
