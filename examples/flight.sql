-- SPDX-License-Identifier: MIT
-- The route of a flight along the geodesic on the WGS 84 ellipsoid, Sydney
-- to Los Angeles: its length, the bearings at departure and arrival, and
-- the point halfway along (its longitude wrapped into -180..180, since the
-- route crosses the antimeridian).
--
--   sqlite3 :memory: -cmd ".load ./build/geodesy" < examples/flight.sql
.mode list
.separator ""
WITH route(from_code, lat1, lon1, to_code, lat2, lon2) AS (
  VALUES ('SYD', -33.9461, 151.1772, 'LAX', 33.9425, -118.4081)
),
leg AS (
  SELECT *, distance(lat1, lon1, lat2, lon2) AS metres,
            azimut_start(lat1, lon1, lat2, lon2) AS departure,
            azimut_end(lat1, lon1, lat2, lon2) AS arrival
  FROM route
),
halfway AS (
  SELECT *, project_lat(lat1, lon1, departure, metres / 2) AS mid_lat,
            project_lon(lat1, lon1, departure, metres / 2) AS mid_lon
  FROM leg
)
SELECT from_code || ' -> ' || to_code || char(10) ||
       'length:    ' || printf('%.1f km', metres / 1000) || char(10) ||
       'departure: ' || printf('%.2f degrees', departure) || char(10) ||
       'arrival:   ' || printf('%.2f degrees', arrival) || char(10) ||
       'halfway:   ' || printf('%.4f, %.4f', mid_lat, mid_lon - 360 * round(mid_lon / 360.0)) ||
       printf(' (project_lon gave %.4f)', mid_lon)
FROM halfway;
