-- SPDX-License-Identifier: MIT
-- Every place within a radius of a point, with an R*Tree prefilter that can
-- never drop a place that distance() keeps.
.read examples/recipes/places.sql
.headers on
.mode column

-- Each place as a degenerate box (latitude, latitude, longitude, longitude),
-- longitudes in -180..180.
CREATE VIRTUAL TABLE temp.place_box USING rtree(id, min_lat, max_lat, min_lon, max_lon);
INSERT INTO place_box SELECT id, lat, lat, lon, lon FROM place;

.parameter set :lat 48.8566
.parameter set :lon 2.3522
.parameter set :r 600000

-- Within 600 km of Paris:
.read examples/recipes/radius-query.sql

-- Within 1000 km of Suva, across the antimeridian:
.parameter set :lat -18.1416
.parameter set :lon 178.4419
.parameter set :r 1000000
.read examples/recipes/radius-query.sql

-- Within 1500 km of McMurdo, round the south pole:
.parameter set :lat -77.8419
.parameter set :lon 166.6863
.parameter set :r 1500000
.read examples/recipes/radius-query.sql
