# frozen_string_literal: true
# SPDX-License-Identifier: MIT
# Built by make dist (packaging/dist.py), once per platform, with the
# module of that platform in lib/sqlite_geodesy/ and VERSION written into
# lib/sqlite_geodesy/version.rb.
require_relative "lib/sqlite_geodesy/version"

Gem::Specification.new do |spec|
  spec.name = "sqlite_geodesy"
  spec.version = SqliteGeodesy::VERSION
  spec.platform = ENV.fetch("GEODESY_GEM_PLATFORM")
  spec.summary = "Geodesics on the Earth's ellipsoid (Vincenty) as SQLite functions, for the sqlite3 gem"
  spec.description = "distance, azimut_start, azimut_end, project_lat and project_lon in SQL: " \
                     "sqlite-geodesy's loadable module, with SqliteGeodesy.load(db) and a to_path " \
                     "for load_extension and Rails' extensions list."
  spec.authors = ["sqlite-geodesy developers"]
  spec.license = "MIT"
  spec.required_ruby_version = ">= 2.7"
  spec.files = Dir["lib/**/*.rb", "lib/sqlite_geodesy/*.so", "LICENSE", "README.md"].sort
  spec.require_paths = ["lib"]
end
