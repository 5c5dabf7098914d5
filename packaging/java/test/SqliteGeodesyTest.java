// SPDX-License-Identifier: MIT
import com.zaxxer.hikari.HikariConfig;
import com.zaxxer.hikari.HikariDataSource;
import io.sqlitegeodesy.SqliteGeodesy;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;

/** The jar with xerial's sqlite-jdbc, directly and through HikariCP's init SQL. */
public class SqliteGeodesyTest {
    static int failed = 0;

    static void check(String what, boolean ok, Object detail) {
        System.out.println((ok ? "ok: " : "FAIL: ") + what + (ok ? "" : " (" + detail + ")"));
        if (!ok) failed++;
    }

    static double[] row(Connection conn) throws SQLException {
        try (Statement s = conn.createStatement();
             ResultSet r = s.executeQuery("SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)")) {
            return new double[] {r.getDouble(1), r.getDouble(2)};
        }
    }

    public static void main(String[] args) throws Exception {
        if (args.length > 0 && args[0].equals("noexec")) {
            noexec();
            return;
        }
        double[] want = {111319.49079327343, 270.0};
        try (Connection conn = DriverManager.getConnection("jdbc:sqlite::memory:")) {
            SqliteGeodesy.load(conn);
            double[] got = row(conn);
            check("load(Connection) gives the functions", got[0] == want[0] && got[1] == want[1],
                  got[0] + " " + got[1]);
            String refused;
            try (Statement s = conn.createStatement()) {
                s.executeQuery("SELECT load_extension('x')").close();
                refused = "loaded";
            } catch (SQLException e) {
                refused = e.getMessage();
            }
            check("extension loading is off again after load()", refused.contains("not authorized"), refused);
        }
        HikariConfig config = new HikariConfig();
        config.setJdbcUrl("jdbc:sqlite::memory:");
        config.addDataSourceProperty("enable_load_extension", "true");
        config.setConnectionInitSql(SqliteGeodesy.loadSql());
        config.setMaximumPoolSize(2);
        try (HikariDataSource pool = new HikariDataSource(config); Connection conn = pool.getConnection()) {
            double[] got = row(conn);
            check("a HikariCP pool's init SQL gives every connection the functions",
                  got[0] == want[0] && got[1] == want[1], got[0] + " " + got[1]);
        }
        System.out.println(failed == 0 ? "all passed" : failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }

    /** Run with java.io.tmpdir on a noexec file system: a refusal that says so and what to do. */
    static void noexec() throws SQLException {
        String message;
        try (Connection conn = DriverManager.getConnection("jdbc:sqlite::memory:")) {
            SqliteGeodesy.load(conn);
            message = "loaded";
        } catch (IllegalStateException e) {
            message = e.getMessage();
        }
        check("a noexec temporary folder is named, with the property to use instead",
              message.contains("noexec") && message.contains("-Dsqlitegeodesy.dir=")
                  && message.contains(System.getProperty("java.io.tmpdir")), message);
        System.out.println(message);
        System.exit(failed == 0 ? 0 : 1);
    }
}
