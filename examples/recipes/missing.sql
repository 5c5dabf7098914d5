-- SPDX-License-Identifier: MIT
-- Rows with missing coordinates. The functions read NULL as 0 and return a
-- number, never NULL, so a row without a position looks like one at (0, 0),
-- in the Gulf of Guinea. Leave such rows out before measuring.
.headers on
.mode column
CREATE TEMP TABLE sighting(id INTEGER PRIMARY KEY, lat REAL, lon REAL);
INSERT INTO sighting(lat, lon) VALUES (51.5072, -0.1276), (NULL, NULL), (48.8566, NULL),
                                      (52.3676, 4.9041);

-- Wrong: rows 2 and 3 get a distance, from (0, 0) and from (48.8566, 0).
SELECT id, printf('%.1f', distance(50.8503, 4.3517, lat, lon) / 1000) AS km_from_brussels
FROM sighting;

-- Right: only rows with both coordinates.
SELECT id, printf('%.1f', distance(50.8503, 4.3517, lat, lon) / 1000) AS km_from_brussels
FROM sighting
WHERE lat IS NOT NULL AND lon IS NOT NULL;
