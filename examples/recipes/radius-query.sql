-- SPDX-License-Identifier: MIT
-- The places within :r metres of (:lat, :lon), prefiltered with the R*Tree
-- place_box (see radius.sql); the test compares it with a full scan.
WITH centre AS (
  -- The box is drawn for a radius 1 m larger than asked, so that rounding
  -- in the last digits can never put a kept place outside it.
  SELECT :lat AS lat, :lon AS lon, :r AS r, :r + 1.0 AS rb
),
reach AS (
  -- The circle holds a pole when the pole is within reach along the
  -- meridian, the shortest way there.
  SELECT *, rb >= distance(lat, lon, 90, lon) AS north_pole,
            rb >= distance(lat, lon, -90, lon) AS south_pole
  FROM centre
),
lat_bounds AS (
  -- Going due north or south is the shortest way to any other latitude.
  SELECT *, CASE WHEN south_pole THEN -90 ELSE project_lat(lat, lon, 180, rb) END AS lat_min,
            CASE WHEN north_pole THEN 90 ELSE project_lat(lat, lon, 0, rb) END AS lat_max
  FROM reach
),
box AS (
  -- A path that ends w degrees of longitude away is at least w times as
  -- long as a degree of the parallel nearest a pole within the box. The
  -- geodesic across one degree of that parallel is a little shorter than
  -- the parallel, so the half-width errs wide. A pole in the circle takes
  -- every longitude.
  SELECT *, CASE WHEN north_pole OR south_pole THEN 360
                 ELSE rb / distance(max(abs(lat_min), abs(lat_max)), 0,
                                    max(abs(lat_min), abs(lat_max)), 1) END AS w
  FROM lat_bounds
),
boxes(lat_min, lat_max, lon_min, lon_max) AS (
  -- Across the antimeridian the box is two boxes.
  SELECT lat_min, lat_max, max(lon - w, -180), min(lon + w, 180) FROM box
  UNION ALL SELECT lat_min, lat_max, lon - w + 360, 180 FROM box WHERE lon - w < -180
  UNION ALL SELECT lat_min, lat_max, -180, lon + w - 360 FROM box WHERE lon + w > 180
)
SELECT DISTINCT place.id, place.name,
       printf('%.1f', distance(centre.lat, centre.lon, place.lat, place.lon) / 1000) AS km
FROM centre, boxes
JOIN place_box ON place_box.max_lat >= boxes.lat_min AND place_box.min_lat <= boxes.lat_max
              AND place_box.max_lon >= boxes.lon_min AND place_box.min_lon <= boxes.lon_max
JOIN place ON place.id = place_box.id
WHERE distance(centre.lat, centre.lon, place.lat, place.lon) <= centre.r
ORDER BY distance(centre.lat, centre.lon, place.lat, place.lon);
