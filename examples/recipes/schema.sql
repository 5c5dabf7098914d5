-- SPDX-License-Identifier: MIT
-- Storing a distance with the rows. SQLite refuses the functions in
-- generated columns, expression indexes and partial-index WHERE clauses
-- (they are not registered as deterministic); an ordinary column filled by
-- UPDATE, and kept current by triggers, does the same job and can be
-- indexed.
.headers on
.mode column
CREATE TABLE store(id INTEGER PRIMARY KEY, name TEXT, lat REAL, lon REAL, km_from_hq REAL);
INSERT INTO store(name, lat, lon) VALUES ('Lille', 50.6292, 3.0573), ('Lyon', 45.7640, 4.8357),
  ('Nice', 43.7102, 7.2620), ('Rennes', 48.1173, -1.6778), ('Strasbourg', 48.5734, 7.7521);

-- Fill the column, and index it (also as a partial index).
UPDATE store SET km_from_hq = distance(48.8566, 2.3522, lat, lon) / 1000;
CREATE INDEX store_by_distance ON store(km_from_hq);
CREATE INDEX store_far ON store(name) WHERE km_from_hq > 400;

-- Keep it current as rows come and go.
CREATE TRIGGER store_placed AFTER INSERT ON store BEGIN
  UPDATE store SET km_from_hq = distance(48.8566, 2.3522, new.lat, new.lon) / 1000
  WHERE id = new.id;
END;
CREATE TRIGGER store_moved AFTER UPDATE OF lat, lon ON store BEGIN
  UPDATE store SET km_from_hq = distance(48.8566, 2.3522, new.lat, new.lon) / 1000
  WHERE id = new.id;
END;
INSERT INTO store(name, lat, lon) VALUES ('Bordeaux', 44.8378, -0.5792);
UPDATE store SET lat = 43.6047, lon = 1.4442, name = 'Toulouse' WHERE name = 'Nice';

SELECT name, printf('%.1f', km_from_hq) AS km FROM store WHERE km_from_hq > 400 ORDER BY km_from_hq;

-- With PRAGMA trusted_schema=OFF, SQLite also refuses the functions in
-- views and triggers ("unsafe use of distance()"), since they are not
-- registered as innocuous. For a schema you trust, switch it back on:
CREATE VIEW store_near AS SELECT name FROM store WHERE distance(48.8566, 2.3522, lat, lon) < 400000;
PRAGMA trusted_schema = ON;
SELECT group_concat(name, ', ') AS near_hq FROM store_near;
