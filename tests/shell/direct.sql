-- SPDX-License-Identifier: MIT
-- Run by the sqlite3 shell with the extension loaded; every row must end in 1.
SELECT 'no distance keeps the longitude', project_lon(0, 20, 45, 0) = 20.0;
SELECT 'no distance keeps the latitude', abs(project_lat(48.85, 2.35, 45, 0) - 48.85) < 1e-12;
SELECT 'a quarter meridian reaches the pole', abs(project_lat(0, 0, 0, 10001965.729) - 90) < 1e-7;
SELECT 'over the north pole', abs(project_lon(90, 10, 0, 1e6) - 190) < 1e-9;
SELECT 'one degree east on the equator', abs(project_lon(0, 0, 90, 111319.49079327343) - 1) < 1e-12;
SELECT 'not wrapped past 180', project_lon(0, 170, 90, 2e6) > 180;
SELECT 'wrapped by hand', abs(project_lon(0, 170, 90, 2e6) - 360 * round(project_lon(0, 170, 90, 2e6) / 360.0) + 172.03369) < 1e-4;
SELECT 'backwards is the opposite way', abs(project_lat(30, 40, 60, -1e6) - project_lat(30, 40, 240, 1e6)) < 1e-9;
SELECT 'round trip', abs(distance(51.47, -0.4543, project_lat(51.47, -0.4543, 287.98, 5554909), project_lon(51.47, -0.4543, 287.98, 5554909)) - 5554909) < 1e-4;
SELECT 'results are real', typeof(project_lat(1, 2, 3, 4)) = 'real' AND typeof(project_lon(1, 2, 3, 4)) = 'real';
SELECT 'NaN comes back as NULL', project_lat(0, 0, 0, 9e999) IS NULL;
