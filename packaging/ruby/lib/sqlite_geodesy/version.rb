# frozen_string_literal: true

module SqliteGeodesy
  # The project's version. make dist writes it here as it stands; a gem
  # built from a clone takes it from its installed gemspec, and the
  # gemspec from the project's CMakeLists.txt, where it is set.
  VERSION = Gem.loaded_specs["sqlite_geodesy"]&.version&.to_s ||
            File.read(File.expand_path("../../../../CMakeLists.txt", __dir__))[/^project\(\w+ VERSION (\S+)/, 1]
end
