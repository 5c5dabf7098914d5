-- SPDX-License-Identifier: MIT
-- A few places for the recipes (read by each of them with .read).
CREATE TEMP TABLE place(id INTEGER PRIMARY KEY, name TEXT, lat REAL, lon REAL);
INSERT INTO place(name, lat, lon) VALUES
  ('Paris',        48.8566,    2.3522),
  ('London',       51.5072,   -0.1276),
  ('Brussels',     50.8503,    4.3517),
  ('Amsterdam',    52.3676,    4.9041),
  ('Lyon',         45.7640,    4.8357),
  ('Marseille',    43.2965,    5.3698),
  ('Zurich',       47.3769,    8.5417),
  ('Madrid',       40.4168,   -3.7038),
  ('Reykjavik',    64.1466,  -21.9426),
  ('Longyearbyen', 78.2232,   15.6267),
  ('Alert',        82.5018,  -62.3481),
  ('Amundsen-Scott', -90.0,    0.0),
  ('McMurdo',     -77.8419,  166.6863),
  ('Suva',        -18.1416,  178.4419),
  ('Apia',        -13.8507, -171.7514),
  ('Nuku''alofa', -21.1394, -175.2049);
