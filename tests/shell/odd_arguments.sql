-- SPDX-License-Identifier: MIT
-- Infinite arguments, and finite ones whose radians overflow: one row of the
-- table in docs/functions.md per line. Every row must end in 1.
SELECT 'inverse: any infinite or overflowing argument gives NULL',
  distance(9e999, 0, 0, 0) IS NULL AND distance(0, -9e999, 0, 0) IS NULL AND
  azimut_start(0, 0, 9e999, 0) IS NULL AND azimut_end(0, 0, 0, -9e999) IS NULL AND
  distance(0, 1e308, 0, 0) IS NULL AND azimut_start(-1e308, 0, 1, 1) IS NULL;
SELECT 'direct: an infinite or overflowing lat1 or azimuth gives NULL',
  project_lat(9e999, 0, 90, 1) IS NULL AND project_lon(-9e999, 0, 90, 1) IS NULL AND
  project_lat(0, 0, 9e999, 1) IS NULL AND project_lon(0, 0, -1e308, 1) IS NULL AND
  project_lat(1e308, 0, 90, 1) IS NULL;
SELECT 'direct: project_lat ignores lon1, infinite or overflowing',
  project_lat(10, 9e999, 30, 1e6) = project_lat(10, 0, 30, 1e6) AND
  project_lat(10, -1e308, 30, 1e6) = project_lat(10, 0, 30, 1e6);
SELECT 'direct: project_lon of an infinite or overflowing lon1 is an infinity of its sign',
  project_lon(10, 9e999, 30, 1e6) = 9e999 AND project_lon(10, -9e999, 30, 1e6) = -9e999 AND
  project_lon(10, 1e308, 30, 1e6) = 9e999;
SELECT 'direct: an infinite distance gives NULL, the largest finite ones a number',
  project_lat(0, 0, 0, 9e999) IS NULL AND project_lon(0, 0, 0, -9e999) IS NULL AND
  typeof(project_lat(0, 0, 90, 1e308)) = 'real' AND abs(project_lon(0, 0, 90, 1e308) + 3.0220133e300) < 1e293;
SELECT 'project_lon strays from lon1 by at most 180 + 0.0303 degrees per 1000 km',
  abs(project_lon(10, 20, 30, 1e12) - 20) BETWEEN 180 AND 180 + 0.0303 * 1e12 / 1e6;
