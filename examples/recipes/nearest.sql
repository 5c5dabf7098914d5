-- SPDX-License-Identifier: MIT
-- The three places nearest to a point, with their distance and bearing.
.read examples/recipes/places.sql
.headers on
.mode column
WITH here(lat, lon) AS (VALUES (48.1351, 11.5820))            -- Munich
SELECT name,
       printf('%.1f', distance(here.lat, here.lon, place.lat, place.lon) / 1000) AS km,
       printf('%.0f', azimut_start(here.lat, here.lon, place.lat, place.lon)) AS bearing
FROM place, here
ORDER BY distance(here.lat, here.lon, place.lat, place.lon)
LIMIT 3;
