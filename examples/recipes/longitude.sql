-- SPDX-License-Identifier: MIT
-- project_lon is not wrapped into -180..180. Wrapping it, and, for a line
-- known to travel east or west, unrolling it into the longitude travelled.
.headers on
.mode column
CREATE TEMP TABLE trip(name TEXT, lat1 REAL, lon1 REAL, azimuth REAL, metres REAL);
INSERT INTO trip VALUES
  ('east across the antimeridian', 0, 170, 90, 2e6),
  ('east, most of the way round',  0, 0, 90, 25e6),
  ('west from Auckland',         -36.85, 174.76, 270, 3e6),
  ('north over the pole',         80, 10, 0, 3e6);

-- Wrapped into -180..180 (SQLite's % works on integers only, so round()
-- does it; exactly +-180 may come out as either).
SELECT name, printf('%.4f', lon) AS project_lon,
       printf('%.4f', lon - 360 * round(lon / 360.0)) AS wrapped
FROM (SELECT name, project_lon(lat1, lon1, azimuth, metres) AS lon FROM trip);

-- Unrolled: the longitude travelled, for lines that travel east or west
-- (an azimuth strictly between 0 and 180 is east, between 180 and 360
-- west; a negative distance travels the other way) and go less than once
-- round the globe. d = project_lon - lon1 is the longitude travelled less
-- a whole turn or none. A d within 1e-9 degrees of 0 is taken as no turn:
-- rounding can leave a hair on the wrong side of 0 for very short lines.
-- A line due north or south has no such direction, and is left NULL.
-- unroll:
SELECT name, CASE WHEN unrolled IS NULL THEN 'NULL' ELSE printf('%.4f', unrolled) END AS unrolled
FROM (SELECT name, lon1 + CASE
        WHEN metres = 0 THEN d
        WHEN (metres > 0 AND azimuth > 0 AND azimuth < 180) OR (metres < 0 AND azimuth > 180 AND azimuth < 360)
          THEN CASE WHEN d < -1e-9 THEN d + 360 ELSE d END     -- travels east
        WHEN (metres > 0 AND azimuth > 180 AND azimuth < 360) OR (metres < 0 AND azimuth > 0 AND azimuth < 180)
          THEN CASE WHEN d > 1e-9 THEN d - 360 ELSE d END      -- travels west
      END AS unrolled
      FROM (SELECT *, project_lon(lat1, lon1, azimuth, metres) - lon1 AS d FROM trip));
