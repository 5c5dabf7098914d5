# frozen_string_literal: true
# SPDX-License-Identifier: MIT
# The gem for one platform, with that platform's module in
# lib/sqlite_geodesy/. make dist builds it from a copy of this folder, once
# per platform (GEODESY_GEM_PLATFORM). It also builds here, in a clone, for
# the machine it runs on:
#
#   make build && cp build/geodesy.so packaging/ruby/lib/sqlite_geodesy/
#   cd packaging/ruby && gem build sqlite_geodesy.gemspec
require "json"
require_relative "lib/sqlite_geodesy/version"

# The project's links, from the one file every package reads them from:
# beside this file in make dist's copy, one folder up in a clone.
project = JSON.parse(File.read(["project.json", "../project.json"].map { |f| File.expand_path(f, __dir__) }
                                                                   .find { |f| File.file?(f) }))
unless File.file?(File.expand_path("lib/sqlite_geodesy/geodesy.so", __dir__))
  raise "sqlite_geodesy.gemspec: no module at lib/sqlite_geodesy/geodesy.so: build it (make build) " \
        "and copy build/geodesy.so there, or build the gems with make dist"
end

Gem::Specification.new do |spec|
  spec.name = "sqlite_geodesy"
  spec.version = SqliteGeodesy::VERSION
  spec.platform = ENV.fetch("GEODESY_GEM_PLATFORM") { Gem::Platform.local.to_s }
  spec.summary = "Geodesics on the Earth's ellipsoid (Vincenty) as SQLite functions, for the sqlite3 gem"
  spec.description = "distance, azimut_start, azimut_end, project_lat and project_lon in SQL: " \
                     "sqlite-geodesy's loadable module, with SqliteGeodesy.load(db) and a to_path " \
                     "for load_extension and Rails' extensions list."
  spec.authors = [project["author"]]
  spec.email = project["email"]
  spec.homepage = project["homepage"]
  spec.metadata = {
    "homepage_uri" => project["homepage"],
    "source_code_uri" => project["repository"],
    "bug_tracker_uri" => project["issues"],
    "changelog_uri" => project["changelog"],
    "documentation_uri" => "https://www.rubydoc.info/gems/sqlite_geodesy"
  }
  spec.license = "MIT"
  spec.required_ruby_version = ">= 2.7"
  spec.add_runtime_dependency "sqlite3", ">= 1.4", "< 3"
  spec.files = Dir["lib/**/*.rb", "lib/sqlite_geodesy/*.so", "LICENSE", "README.md"].sort
  spec.require_paths = ["lib"]
end
