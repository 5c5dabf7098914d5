// SPDX-License-Identifier: MIT
package io.sqlitegeodesy;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
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
 *
 * <p>SQLite loads modules from files only, so the module is copied out of
 * the jar into a new folder under {@code java.io.tmpdir}, or under the
 * folder named by the system property {@code sqlitegeodesy.dir}
 * ({@code -Dsqlitegeodesy.dir=/var/lib/myapp}) where the temporary folder
 * is mounted {@code noexec}.
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

    /** The system property naming the folder the module is copied into. */
    public static final String DIR_PROPERTY = "sqlitegeodesy.dir";

    /**
     * The path of the module, copied out of the jar once per JVM into a
     * folder of its own (SQLite loads only files), and removed at exit.
     *
     * @throws IllegalStateException where that folder's file system is
     *     mounted noexec, so that no library can be loaded from it
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
            String own = System.getProperty(DIR_PROPERTY);
            Path base = Paths.get(own != null && !own.isEmpty() ? own : System.getProperty("java.io.tmpdir"));
            String mount = noexecMount(base);
            if (mount != null) {
                throw new IllegalStateException("sqlite-geodesy cannot load its module from " + base
                        + ": the file system mounted at " + mount + " is noexec, so no library loads from it. "
                        + "Name a folder that allows executables with -D" + DIR_PROPERTY + "=FOLDER"
                        + (own == null ? " (or -Djava.io.tmpdir=FOLDER)" : ""));
            }
            Files.createDirectories(base);
            Path dir = Files.createTempDirectory(base, "sqlite-geodesy-");
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

    /**
     * The mount point of the file system holding folder if it is mounted
     * noexec (Linux's /proc/self/mountinfo), or null.
     */
    static String noexecMount(Path folder) {
        Path real = folder.toAbsolutePath().normalize();
        for (Path p = real; p != null; p = p.getParent()) {
            try {
                real = p.toRealPath().resolve(p.relativize(real));
                break;
            } catch (IOException e) {
                // not there yet: its nearest existing parent decides
            }
        }
        Path mountinfo = Paths.get("/proc/self/mountinfo");
        if (!Files.isReadable(mountinfo)) return null;
        String best = null;
        boolean noexec = false;
        try {
            for (String line : Files.readAllLines(mountinfo, StandardCharsets.UTF_8)) {
                String[] f = line.split(" ");
                if (f.length < 6) continue;
                String point = unescape(f[4]);
                if (!real.startsWith(point) || (best != null && point.length() <= best.length())) continue;
                best = point;
                noexec = ("," + f[5] + ",").contains(",noexec,");
            }
        } catch (IOException | UncheckedIOException e) {
            return null;
        }
        return noexec ? best : null;
    }

    /** A mount point as mountinfo writes it: space, tab, newline and \ as octal escapes. */
    private static String unescape(String s) {
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c == '\\' && i + 3 < s.length()) {
                out.append((char) Integer.parseInt(s.substring(i + 1, i + 4), 8));
                i += 3;
            } else {
                out.append(c);
            }
        }
        return out.toString();
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
        } catch (SQLException e) {
            // SQLite names the file it tried last (the path with ".so"
            // added), not the module or why: say both.
            throw new SQLException("SQLite could not load sqlite-geodesy's module " + loadablePath()
                    + " (is its folder on a file system mounted noexec? -D" + DIR_PROPERTY
                    + "=FOLDER names another): " + e.getMessage(), e);
        } finally {
            sqlite.getDatabase().enable_load_extension(false);
        }
    }
}
