# frozen_string_literal: true
# SPDX-License-Identifier: MIT
# The installed gem with the sqlite3 gem: ruby test/test_sqlite_geodesy.rb
require "minitest/autorun"
require "sqlite3"
require "sqlite_geodesy"

class TestSqliteGeodesy < Minitest::Test
  def test_load_gives_the_functions_and_switches_loading_off_again
    db = SqliteGeodesy.load(SQLite3::Database.new(":memory:"))
    metres, azimuth = db.execute("SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)").first
    assert_equal 111_319.49079327343, metres
    assert_equal 270.0, azimuth
    # Loading is off again: SQL cannot load a module of its choosing.
    error = assert_raises(SQLite3::Exception) { db.execute("SELECT load_extension('x')") }
    assert_match(/not authorized/, error.message)
  end

  def test_to_path_names_the_module_in_the_gem
    assert_equal SqliteGeodesy.loadable_path, SqliteGeodesy.to_path
    assert File.file?(SqliteGeodesy.to_path)
  end

  def test_a_wrong_argument_is_named
    error = assert_raises(TypeError) { SqliteGeodesy.load("places.db") }
    assert_match(/SQLite3::Database .* not String/, error.message)
  end
end
