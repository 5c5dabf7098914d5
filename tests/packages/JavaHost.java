// SPDX-License-Identifier: MIT
import io.sqlitegeodesy.SqliteGeodesy;
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.io.PrintWriter;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;

/**
 * The jar in xerial's sqlite-jdbc, as Java users use it (make java-test),
 * answering check_bits.py: per line "inverse|direct A B C D" on standard
 * input (each argument the hex bits of a double, or i<integer>), the
 * results of the three inverse or the two direct functions as hex bits,
 * or NULL.
 */
public class JavaHost {
    public static void main(String[] args) throws Exception {
        try (Connection conn = DriverManager.getConnection("jdbc:sqlite::memory:")) {
            SqliteGeodesy.load(conn);
            PreparedStatement inverse = conn.prepareStatement(
                "SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)");
            PreparedStatement direct = conn.prepareStatement(
                "SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)");
            BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
            PrintWriter out = new PrintWriter(System.out);
            for (String line; (line = in.readLine()) != null;) {
                String[] f = line.trim().split("\\s+");
                PreparedStatement s = f[0].equals("inverse") ? inverse : direct;
                for (int i = 1; i <= 4; i++) {
                    if (f[i].startsWith("i")) s.setLong(i, Long.parseLong(f[i].substring(1)));
                    else s.setDouble(i, Double.longBitsToDouble(Long.parseUnsignedLong(f[i], 16)));
                }
                try (ResultSet r = s.executeQuery()) {
                    int n = f[0].equals("inverse") ? 3 : 2;
                    StringBuilder row = new StringBuilder();
                    for (int i = 1; i <= n; i++) {
                        double x = r.getDouble(i);
                        if (i > 1) row.append(' ');
                        row.append(r.wasNull() ? "NULL" : String.format("%016x", Double.doubleToRawLongBits(x)));
                    }
                    out.println(row);
                }
            }
            out.flush();
        }
    }
}
