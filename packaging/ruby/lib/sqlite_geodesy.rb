# frozen_string_literal: true
# SPDX-License-Identifier: MIT

require "sqlite_geodesy/version"

# Geodesics on the WGS 84 ellipsoid in SQL (Vincenty's formulae) for the
# sqlite3 gem: distance, azimut_start, azimut_end, project_lat and
# project_lon, from the loadable module inside this gem.
#
#   require "sqlite3"
#   require "sqlite_geodesy"
#
#   db = SQLite3::Database.new("places.db")
#   SqliteGeodesy.load(db)
#   db.get_first_value("SELECT distance(51.47, -0.4543, 40.6413, -73.7781)")
#
# The module answers to_path, so that what takes a path to an extension
# takes it too: db.load_extension(SqliteGeodesy) with sqlite3 2.4 or later,
# or `extensions: [SqliteGeodesy]` in a Rails 8 database.yml.
module SqliteGeodesy
  # The path of the loadable module in this gem.
  def self.loadable_path
    path = File.expand_path("sqlite_geodesy/geodesy.so", __dir__)
    return path if File.file?(path)

    raise LoadError, "sqlite_geodesy #{VERSION} has no module for this platform " \
                     "(#{RUBY_PLATFORM}) at #{path}: its gems are built for x86_64-linux and aarch64-linux"
  end

  def self.to_path
    loadable_path
  end

  # Loads the functions into db, a SQLite3::Database, with extension
  # loading switched on for the load only.
  def self.load(db)
    unless db.respond_to?(:enable_load_extension) && db.respond_to?(:load_extension)
      raise TypeError, "SqliteGeodesy.load takes a SQLite3::Database that can load extensions, " \
                       "not #{db.class}"
    end
    db.enable_load_extension(true)
    begin
      db.load_extension(loadable_path)
    ensure
      db.enable_load_extension(false)
    end
    db
  end
end
