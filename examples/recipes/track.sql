-- SPDX-License-Identifier: MIT
-- The length of a GPS track: the sum of the geodesics between successive
-- fixes, with a window function.
.headers on
.mode column
CREATE TEMP TABLE fix(t TEXT, lat REAL, lon REAL);
INSERT INTO fix VALUES
  ('2026-06-01 09:00:00', 46.2044, 6.1432),
  ('2026-06-01 09:10:00', 46.2276, 6.1960),
  ('2026-06-01 09:20:00', 46.2610, 6.2290),
  ('2026-06-01 09:30:00', 46.3050, 6.2570),
  ('2026-06-01 09:40:00', 46.3716, 6.2410);

-- Each leg and the running total. lag() has no previous fix on the first
-- row, so that row is left out: the functions read NULL as 0, and the
-- first leg would otherwise run from (0, 0), in the Gulf of Guinea.
WITH leg AS (
  SELECT t, lat, lon, lag(lat) OVER w AS prev_lat, lag(lon) OVER w AS prev_lon
  FROM fix WINDOW w AS (ORDER BY t)
)
SELECT t, printf('%.3f', distance(prev_lat, prev_lon, lat, lon) / 1000) AS leg_km,
       printf('%.3f', sum(distance(prev_lat, prev_lon, lat, lon)) OVER (ORDER BY t) / 1000) AS total_km
FROM leg
WHERE prev_lat IS NOT NULL;

-- The trap, for comparison: without the WHERE the first row counts a line
-- of about 5 000 km from (0, 0).
SELECT printf('%.1f', sum(d) / 1000) AS wrong_km
FROM (SELECT distance(lag(lat) OVER w, lag(lon) OVER w, lat, lon) AS d
      FROM fix WINDOW w AS (ORDER BY t));
