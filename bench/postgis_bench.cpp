// SPDX-License-Identifier: MIT
// This extension in SQLite beside PostGIS's geography functions in
// PostgreSQL, on the same million rows: ns per row above each engine's own
// floor, then each engine's error against GeographicLib on those rows.
//
//   postgis_bench path/to/geodesy.so "host=/socket/dir user=... dbname=..."
//
// bench/postgis_bench.py starts the server this talks to and stops it.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "accuracy/reference.h"
#include "bench/workloads.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 5;
// One row in this many is a nearly antipodal pair.
constexpr int kAntipodalEvery = 100;

struct Row {
    double lat1, lon1, lat2, lon2, azimuth, metres;
};

// Pairs uniform on the sphere, with one in a hundred nearly antipodal (the
// second point within a degree of the first's antipode, on either side of
// it), and for the direct problem an azimuth and a distance up to 20 000 km.
std::vector<Row> make_rows() {
    bench::Random r(24);
    std::vector<Row> rows(kRows);
    for (int i = 0; i < kRows; ++i) {
        Row& row = rows[i];
        row.lat1 = r.latitude();
        row.lon1 = r.uniform(-180, 180);
        if (i % kAntipodalEvery == 0) {
            row.lat2 = -row.lat1 + r.uniform(-1, 1);
            row.lat2 = std::fmax(-90, std::fmin(90, row.lat2));
            row.lon2 = std::remainder(row.lon1 + 180 + r.uniform(-1, 1), 360.0);
        } else {
            row.lat2 = r.latitude();
            row.lon2 = r.uniform(-180, 180);
        }
        row.azimuth = r.uniform(0, 360);
        row.metres = r.uniform(0, 2e7);
    }
    return rows;
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "postgis_bench: %s\n", what.c_str());
    std::exit(1);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double seconds(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---- SQLite -------------------------------------------------------------

void lite_exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
        die(sql + ": " + (error ? error : "?"));
}

sqlite3* lite_open(const char* module, const std::vector<Row>& rows) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr);
    char* error = nullptr;
    if (sqlite3_load_extension(db, module, nullptr, &error) != SQLITE_OK)
        die(std::string("cannot load ") + module + ": " + (error ? error : "?"));
    lite_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, lat1 REAL, lon1 REAL, lat2 REAL, lon2 REAL, "
                  "azimuth REAL, metres REAL)");
    lite_exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
        const Row& w = rows[i];
        sqlite3_bind_int(insert, 1, i);
        const double v[6] = {w.lat1, w.lon1, w.lat2, w.lon2, w.azimuth, w.metres};
        for (int k = 0; k < 6; ++k) sqlite3_bind_double(insert, k + 2, v[k]);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    lite_exec(db, "COMMIT");
    return db;
}

void lite_query(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) die(sqlite3_errmsg(db));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
}

// Every row's results of a query with four REAL columns; NULL becomes NaN.
std::vector<double> lite_results(sqlite3* db, const std::string& sql) {
    std::vector<double> out;
    out.reserve(4 * kRows);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) die(sqlite3_errmsg(db));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int k = 0; k < 4; ++k)
            out.push_back(sqlite3_column_type(stmt, k) == SQLITE_NULL ? NAN : sqlite3_column_double(stmt, k));
    }
    sqlite3_finalize(stmt);
    return out;
}

// ---- PostgreSQL -----------------------------------------------------------

PGresult* pg_exec(PGconn* pg, const std::string& sql) {
    PGresult* res = PQexec(pg, sql.c_str());
    const ExecStatusType status = PQresultStatus(res);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN)
        die(sql + ": " + PQerrorMessage(pg));
    return res;
}

void pg_run(PGconn* pg, const std::string& sql) { PQclear(pg_exec(pg, sql)); }

// The same rows, with the two points also stored as geography, the type
// PostGIS's ellipsoidal functions take.
void pg_load(PGconn* pg, const std::vector<Row>& rows) {
    pg_run(pg, "CREATE EXTENSION IF NOT EXISTS postgis");
    pg_run(pg, "DROP TABLE IF EXISTS t");
    pg_run(pg, "CREATE TABLE t(id integer PRIMARY KEY, lat1 float8, lon1 float8, lat2 float8, lon2 float8, "
               "azimuth float8, metres float8, g1 geography(Point, 4326), g2 geography(Point, 4326))");
    PQclear(pg_exec(pg, "COPY t(id, lat1, lon1, lat2, lon2, azimuth, metres) FROM STDIN"));
    std::string chunk;
    char line[256];
    for (int i = 0; i < kRows; ++i) {
        const Row& w = rows[i];
        const int n = std::snprintf(line, sizeof line, "%d\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\n", i,
                                    w.lat1, w.lon1, w.lat2, w.lon2, w.azimuth, w.metres);
        chunk.append(line, static_cast<size_t>(n));
        if (chunk.size() > (1 << 20) || i == kRows - 1) {
            if (PQputCopyData(pg, chunk.data(), static_cast<int>(chunk.size())) != 1) die(PQerrorMessage(pg));
            chunk.clear();
        }
    }
    if (PQputCopyEnd(pg, nullptr) != 1) die(PQerrorMessage(pg));
    PGresult* res = PQgetResult(pg);
    if (PQresultStatus(res) != PGRES_COMMAND_OK) die(std::string("COPY: ") + PQerrorMessage(pg));
    PQclear(res);
    pg_run(pg, "UPDATE t SET g1 = ST_SetSRID(ST_MakePoint(lon1, lat1), 4326)::geography, "
               "g2 = ST_SetSRID(ST_MakePoint(lon2, lat2), 4326)::geography");
    pg_run(pg, "VACUUM FULL ANALYZE t");
}

// Every row's results of a query with four float8 columns; NULL becomes NaN.
// PostgreSQL prints float8 in the shortest form that reads back to the
// same double, so the text carries every bit.
std::vector<double> pg_results(PGconn* pg, const std::string& sql) {
    PGresult* res = pg_exec(pg, sql);
    std::vector<double> out;
    out.reserve(4 * kRows);
    for (int i = 0; i < PQntuples(res); ++i) {
        for (int k = 0; k < 4; ++k)
            out.push_back(PQgetisnull(res, i, k) ? NAN : std::strtod(PQgetvalue(res, i, k), nullptr));
    }
    PQclear(res);
    return out;
}

// ---- Timing ---------------------------------------------------------------

struct Timed {
    const char* what;
    std::string lite, pg;  // the query in each engine
    std::vector<double> lite_ns, pg_ns;
};

void time_queries(sqlite3* db, PGconn* pg, std::vector<Timed>& queries) {
    // Round-robin, so that a slow spell of the machine falls on all alike.
    for (int r = 0; r < kRuns; ++r) {
        for (Timed& q : queries) {
            q.lite_ns.push_back(seconds([&] { lite_query(db, q.lite); }) * 1e9 / kRows);
            q.pg_ns.push_back(seconds([&] { pg_run(pg, q.pg); }) * 1e9 / kRows);
        }
    }
}

// ---- Accuracy -------------------------------------------------------------

struct Worst {
    double value = 0;
    int row = -1;
    int nulls = 0;
    void add(double error, int i) {
        if (std::isnan(error)) {
            ++nulls;
        } else if (error > value) {
            value = error;
            row = i;
        }
    }
};

// Rows whose longitudes differ by more than this hold the antipodal band;
// up to it the docs bound this extension's distance.
constexpr double kBandFrom = 179.2;

bool in_band(const Row& w) { return std::fabs(std::remainder(w.lon2 - w.lon1, 360.0)) > kBandFrom; }

// Largest error of each output: distance in metres and start azimuth in
// arcseconds, over the pairs up to 179.2° of longitude difference and over
// those beyond; the point reached in metres from GeographicLib's, over all.
struct Errors {
    Worst distance[2], azimuth[2], point;
};

Errors measure(const std::vector<Row>& rows, const std::vector<double>& inverse,
               const std::vector<double>& direct) {
    Errors e;
    const GeographicLib::Geodesic& g = bench::wgs84();
    for (int i = 0; i < kRows; ++i) {
        const Row& w = rows[i];
        const int band = in_band(w);
        double s12, azi1, azi2;
        g.Inverse(w.lat1, w.lon1, w.lat2, w.lon2, s12, azi1, azi2);
        const double s = inverse[4 * i], a = inverse[4 * i + 1];
        e.distance[band].add(std::fabs(s - s12), i);
        e.azimuth[band].add(std::isnan(a) ? NAN : bench::arcseconds_between(a, azi1), i);
        double lat2, lon2;
        g.Direct(w.lat1, w.lon1, w.azimuth, w.metres, lat2, lon2);
        const double plat = direct[4 * i], plon = direct[4 * i + 1];
        double gap = NAN;
        if (!std::isnan(plat) && !std::isnan(plon)) g.Inverse(plat, plon, lat2, lon2, gap);
        e.point.add(gap, i);
    }
    return e;
}

// The largest error rounded up to two significant digits, and how many
// rows gave NULL.
std::string cell(const Worst& w, const char* unit) {
    double shown = 0;
    if (w.value > 0) {
        const double step = std::pow(10.0, std::floor(std::log10(w.value)) - 1);
        shown = std::ceil(w.value / step) * step;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%.2g %s", shown, unit);
    std::string s = text;
    if (w.nulls) s += ", NULL in " + std::to_string(w.nulls);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s path/to/geodesy.so POSTGRESQL-CONNINFO\n", argv[0]);
        return 2;
    }
    const std::vector<Row> rows = make_rows();

    PGconn* pg = PQconnectdb(argv[2]);
    if (PQstatus(pg) != CONNECTION_OK) die(std::string("cannot connect: ") + PQerrorMessage(pg));
    // One core each, as SQLite has: no parallel workers, no JIT.
    pg_run(pg, "SET max_parallel_workers_per_gather = 0");
    pg_run(pg, "SET jit = off");
    pg_run(pg, "SET client_min_messages = warning");  // no NOTICE for the DROP of a missing table
    std::fprintf(stderr, "loading %d rows into both engines\n", kRows);
    sqlite3* db = lite_open(argv[1], rows);
    pg_load(pg, rows);

    PGresult* v = pg_exec(pg, "SELECT split_part(version(), ' ', 2), postgis_lib_version(), "
                              "coalesce(substring(postgis_full_version() from 'PROJ=\"([^ \"]+)'), '?')");
    std::printf("%d rows (1 in %d nearly antipodal), median of %d interleaved runs\n", kRows, kAntipodalEvery,
                kRuns);
    std::printf("SQLite %s with this extension; PostgreSQL %s with PostGIS %s (PROJ %s)\n\n", sqlite3_libversion(),
                PQgetvalue(v, 0, 0), PQgetvalue(v, 0, 1), PQgetvalue(v, 0, 2));
    PQclear(v);

    const std::string floor = "SELECT sum(lat1 + lon1 + lat2 + lon2) FROM t";
    std::vector<Timed> queries = {
        {"floor: four columns read and added", floor, floor, {}, {}},
        {"`distance`, `ST_Distance`", "SELECT sum(distance(lat1, lon1, lat2, lon2)) FROM t",
         "SELECT sum(ST_Distance(g1, g2)) FROM t", {}, {}},
        {"`azimut_start`, `ST_Azimuth`", "SELECT sum(azimut_start(lat1, lon1, lat2, lon2)) FROM t",
         "SELECT sum(ST_Azimuth(g1, g2)) FROM t", {}, {}},
        {"`project_lat` + `project_lon`, `ST_Project` then `ST_Y` + `ST_X`",
         "SELECT sum(project_lat(lat1, lon1, azimuth, metres) + project_lon(lat1, lon1, azimuth, metres)) FROM t",
         "SELECT sum(ST_Y(p::geometry) + ST_X(p::geometry)) FROM "
         "(SELECT ST_Project(g1, metres, radians(azimuth)) AS p FROM t) q",
         {}, {}},
    };
    std::fprintf(stderr, "timing\n");
    time_queries(db, pg, queries);
    const double lite_floor = median(queries[0].lite_ns), pg_floor = median(queries[0].pg_ns);
    std::printf("| per row (ns) | SQLite | above its floor | PostgreSQL | above its floor |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const Timed& q : queries) {
        const double l = median(q.lite_ns), p = median(q.pg_ns);
        std::printf("| %s | %.0f | %.0f | %.0f | %.0f |\n", q.what, l, l - lite_floor, p, p - pg_floor);
    }

    std::fprintf(stderr, "fetching every row's results\n");
    const Errors ours = measure(
        rows,
        lite_results(db, "SELECT distance(lat1, lon1, lat2, lon2), azimut_start(lat1, lon1, lat2, lon2), 0, 0 "
                         "FROM t ORDER BY id"),
        lite_results(db, "SELECT project_lat(lat1, lon1, azimuth, metres), project_lon(lat1, lon1, azimuth, "
                         "metres), 0, 0 FROM t ORDER BY id"));
    const Errors theirs = measure(
        rows,
        pg_results(pg, "SELECT ST_Distance(g1, g2), degrees(ST_Azimuth(g1, g2)), 0, 0 FROM t ORDER BY id"),
        pg_results(pg, "SELECT ST_Y(p::geometry), ST_X(p::geometry), 0, 0 FROM "
                       "(SELECT id, ST_Project(g1, metres, radians(azimuth)) AS p FROM t) q ORDER BY id"));
    const int band_rows = static_cast<int>(std::count_if(rows.begin(), rows.end(), in_band));
    std::printf("\nLargest error against GeographicLib on the same rows\n\n");
    std::printf("| output | rows | this extension | PostGIS |\n|---|---|---:|---:|\n");
    char kinds[2][64];
    std::snprintf(kinds[0], sizeof kinds[0], "%d up to 179.2° apart in longitude", kRows - band_rows);
    std::snprintf(kinds[1], sizeof kinds[1], "%d over 179.2° apart", band_rows);
    for (int band = 0; band < 2; ++band)
        std::printf("| distance | %s | %s | %s |\n", kinds[band], cell(ours.distance[band], "m").c_str(),
                    cell(theirs.distance[band], "m").c_str());
    for (int band = 0; band < 2; ++band)
        std::printf("| start azimuth | %s | %s | %s |\n", kinds[band], cell(ours.azimuth[band], "″").c_str(),
                    cell(theirs.azimuth[band], "″").c_str());
    std::printf("| point reached | all %d | %s | %s |\n", kRows, cell(ours.point, "m").c_str(),
                cell(theirs.point, "m").c_str());
    for (const Errors* e : {&ours, &theirs}) {
        const int i = e->distance[1].row;
        if (i >= 0)
            std::printf("\n%s: largest distance error over 179.2° at (%.17g, %.17g, %.17g, %.17g)",
                        e == &ours ? "this extension" : "PostGIS", rows[i].lat1, rows[i].lon1, rows[i].lat2,
                        rows[i].lon2);
    }
    std::printf("\n");
    sqlite3_close(db);
    PQfinish(pg);
    return 0;
}
