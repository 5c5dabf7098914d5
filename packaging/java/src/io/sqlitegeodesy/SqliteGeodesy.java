// SPDX-License-Identifier: MIT
package io.sqlitegeodesy;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.sql.Connection;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.Locale;

/**
 * Geodesics on the WGS 84 ellipsoid in SQL (Vincenty's formulae) for
 * SQLite over JDBC: distance, azimut_start, azimut_end, project_lat and
 * project_lon, from the loadable module carried in this jar.
 *
 * <pre>{@code
 * Connection conn = DriverManager.getConnection("jdbc:sqlite:places.db");
 * SqliteGeodesy.load(conn);
 * }</pre>
 *
 * <p>With xerial's sqlite-jdbc, {@link #load} switches extension loading
 * on for the load only. A connection pool that opens connections itself
 * loads the functions with its init SQL, {@link #loadSql()}, on
 * connections opened with extension loading on
 * ({@code enable_load_extension=true}), which then stays on.
 */
public final class SqliteGeodesy {
    private static Path module;

    private SqliteGeodesy() {}

    /** The folder of this platform's module in the jar, e.g. linux-x86_64. */
    static String platform() {
        String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
        String arch = System.getProperty("os.arch", "").toLowerCase(Locale.ROOT);
        String cpu = arch.equals("amd64") || arch.equals("x86_64") ? "x86_64"
                : arch.equals("aarch64") || arch.equals("arm64") ? "aarch64" : arch;
        String system = os.startsWith("linux") ? "linux" : os.startsWith("windows") ? "windows" : os;
        return system + "-" + cpu;
    }

    /**
     * The path of the module, copied out of the jar once per JVM into a
     * folder of its own (SQLite loads only files), and removed at exit.
     */
    public static synchronized Path loadablePath() {
        if (module != null) return module;
        String folder = platform();
        String name = folder.startsWith("windows") ? "geodesy.dll" : "geodesy.so";
        try (InputStream in = SqliteGeodesy.class.getResourceAsStream("/io/sqlitegeodesy/" + folder + "/" + name)) {
            if (in == null) {
                throw new UnsupportedOperationException("sqlite-geodesy has no module for " + folder
                        + ": the jar carries linux-x86_64, linux-aarch64 and windows-x86_64");
            }
            Path dir = Files.createTempDirectory("sqlite-geodesy-");
            Path file = dir.resolve(name);
            Files.copy(in, file, StandardCopyOption.REPLACE_EXISTING);
            file.toFile().deleteOnExit();
            dir.toFile().deleteOnExit();
            module = file;
            return module;
        } catch (IOException e) {
            throw new UncheckedIOException("could not copy sqlite-geodesy's module out of its jar", e);
        }
    }

    /** {@code SELECT load_extension('…')} for this module: a pool's init SQL. */
    public static String loadSql() {
        return "SELECT load_extension('" + loadablePath().toString().replace("'", "''") + "')";
    }

    /**
     * Loads the functions into conn, a connection of xerial's sqlite-jdbc:
     * switches extension loading on, loads, and switches it off again, so
     * that SQL run later on the connection cannot load modules of its own.
     */
    public static void load(Connection conn) throws SQLException {
        org.sqlite.SQLiteConnection sqlite;
        try {
            sqlite = conn.unwrap(org.sqlite.SQLiteConnection.class);
        } catch (SQLException e) {
            throw new SQLException("SqliteGeodesy.load takes a connection of xerial's sqlite-jdbc, not "
                    + conn.getClass().getName(), e);
        }
        sqlite.getDatabase().enable_load_extension(true);
        try (Statement statement = conn.createStatement()) {
            statement.execute(loadSql());
        } finally {
            sqlite.getDatabase().enable_load_extension(false);
        }
    }
}
