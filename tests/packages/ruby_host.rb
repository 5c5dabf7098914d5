# frozen_string_literal: true
# SPDX-License-Identifier: MIT
# The installed gem in the sqlite3 gem, as Ruby users use it (make
# ruby-test), answering check_bits.py: per line "inverse|direct A B C D"
# on standard input (each argument the hex bits of a double, or
# i<integer>), the results of the three inverse or the two direct
# functions as hex bits, or NULL.
require "sqlite3"
require "sqlite_geodesy"

db = SqliteGeodesy.load(SQLite3::Database.new(":memory:"))
inverse = db.prepare("SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)")
direct = db.prepare("SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)")
$stdout.sync = false
$stdin.each_line do |line|
  kind, *fields = line.split
  args = fields.map { |f| f.start_with?("i") ? Integer(f[1..]) : [f].pack("H*").unpack1("G") }
  row = (kind == "inverse" ? inverse : direct).execute(*args).next
  puts(row.map { |x| x.nil? ? "NULL" : [x].pack("G").unpack1("H*") }.join(" "))
end
