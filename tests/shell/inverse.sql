-- SPDX-License-Identifier: MIT
-- Run by the sqlite3 shell with the extension loaded; every row must end in 1.
SELECT 'one degree of the equator', distance(0, 0, 0, 1) = 111319.49079327343;
SELECT 'same length westwards', distance(0, 0, 0, -1) = distance(0, 0, 0, 1);
SELECT 'due east is 90', azimut_start(0, 0, 0, 1) = 90.0 AND azimut_end(0, 0, 0, 1) = 90.0;
SELECT 'due west is 270', azimut_start(0, 0, 0, -1) = 270.0 AND azimut_end(0, 0, 0, -1) = 270.0;
SELECT 'due north is 0', azimut_start(0, 0, 1, 0) = 0.0 AND azimut_end(0, 0, 1, 0) = 0.0;
SELECT 'due south is 180', azimut_start(0, 0, -1, 0) = 180.0 AND azimut_end(0, 0, -1, 0) = 180.0;
SELECT 'a point to itself', distance(48.85, 2.35, 48.85, 2.35) = 0.0 AND azimut_start(48.85, 2.35, 48.85, 2.35) = 0.0;
SELECT 'Flinders Peak to Buninyong', abs(distance(-37.95103341666667, 144.42486788888889, -37.65282113888889, 143.92649552777778) - 54972.271) < 0.0005;
SELECT 'results are real', typeof(distance(1, 2, 3, 4)) = 'real' AND typeof(azimut_end(1, 2, 3, 4)) = 'real';
SELECT 'text is read as a number', distance('10', '20', '30', '40') = distance(10, 20, 30, 40);
SELECT 'NULL is read as 0', distance(NULL, 20, 30, 40) = distance(0, 20, 30, 40);
SELECT 'NaN comes back as NULL', distance(9e999, 0, 0, 0) IS NULL;
SELECT 'a full turn of longitude changes nothing', abs(distance(20, 170, 25, 550) - distance(20, 170, 25, 190)) < 1e-6;
SELECT 'azimuths stay within 0 to 360', min(azimut_start(0, 0, 1, -1e-300), 360.0) = 360.0;
