// SPDX-License-Identifier: MIT
// ns per row of each SQL function over a 1,000,000-row in-memory table,
// against a do-nothing 4-argument function on the same connection (what
// SQLite itself costs per row) and against the bare solver call.
//
//   sql_bench path/to/geodesy.so [runs]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/workloads.h"
#include "geodesy/direct.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse.h"

namespace {

constexpr int kRows = 1000000;

// The floor: reads its four arguments, as any 4-argument function must,
// and returns their sum.
void floor_func(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite3_result_double(context, sqlite3_value_double(argv[0]) + sqlite3_value_double(argv[1]) +
                                       sqlite3_value_double(argv[2]) + sqlite3_value_double(argv[3]));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median wall time of work() over runs, in ns per row.
double time_per_row(int runs, const std::function<void()>& work) {
    std::vector<double> ns;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto stop = std::chrono::steady_clock::now();
        ns.push_back(std::chrono::duration<double, std::nano>(stop - start).count() / kRows);
    }
    return median(ns);
}

void fail(sqlite3* db, const char* what) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

void exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, sql.c_str());
}

double query_sum(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail(db, sql.c_str());
    if (sqlite3_step(stmt) != SQLITE_ROW) fail(db, sql.c_str());
    const double sum = sqlite3_column_double(stmt, 0);
    sqlite3_finalize(stmt);
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s path/to/geodesy.so [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(5, std::atoi(argv[2])) : 11;

    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr);
    char* error = nullptr;
    if (sqlite3_load_extension(db, argv[1], nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error ? error : "?");
        return 1;
    }
    sqlite3_create_function(db, "floor4", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            floor_func, nullptr, nullptr);

    // One table for both problems: two points, and an azimuth and distance.
    const std::vector<bench::Call> pairs = bench::random_pairs(kRows);
    const std::vector<bench::Call> starts = bench::direct_starts(kRows);
    exec(db, "CREATE TABLE t(lat1 REAL, lon1 REAL, lat2 REAL, lon2 REAL, azimuth REAL, metres REAL)");
    exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
        const double values[6] = {pairs[i].a, pairs[i].b, pairs[i].c, pairs[i].d, starts[i].c, starts[i].d};
        for (int k = 0; k < 6; ++k) sqlite3_bind_double(insert, k + 1, values[k]);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(db, "COMMIT");

    // Every measurement, repeated round-robin so that a slow spell of the
    // machine falls on all of them alike; each figure is the median.
    using geodesy::deg_to_rad;
    struct Measure {
        std::string name;
        std::function<void()> work;
        std::vector<double> ns;
    };
    std::vector<Measure> measures;
    auto sql = [&](const std::string& name, const char* args) {
        const std::string query = "SELECT sum(" + name + args + ") FROM t";
        measures.push_back({name, [db, query] { query_sum(db, query); }, {}});
    };
    const char* inverse_args = "(lat1, lon1, lat2, lon2)";
    const char* direct_args = "(lat1, lon1, azimuth, metres)";
    sql("floor4", inverse_args);
    for (const char* f : {"distance", "azimut_start", "azimut_end"}) sql(f, inverse_args);
    for (const char* f : {"project_lat", "project_lon"}) sql(f, direct_args);
    measures.push_back({"bare inverse_geodesic", [&] {
        double total = 0;
        for (const bench::Call& c : pairs) {
            double s, a1, a2;
            geodesy::inverse_geodesic(deg_to_rad(c.a), deg_to_rad(c.b), deg_to_rad(c.c),
                                      deg_to_rad(c.d), &s, &a1, &a2);
            total += s + a1 + a2;
        }
        volatile double sink = total;
        (void)sink;
    }, {}});
    measures.push_back({"bare direct_geodesic", [&] {
        double total = 0;
        for (int i = 0; i < kRows; ++i) {
            double lat2, lon2;
            geodesy::direct_geodesic(deg_to_rad(pairs[i].a), deg_to_rad(pairs[i].b),
                                     deg_to_rad(starts[i].c), starts[i].d, &lat2, &lon2);
            total += lat2 + lon2;
        }
        volatile double sink = total;
        (void)sink;
    }, {}});
    for (int r = 0; r < runs; ++r) {
        for (Measure& m : measures) m.ns.push_back(time_per_row(1, m.work));
    }
    auto figure = [&](const std::string& name) {
        for (const Measure& m : measures) {
            if (m.name == name) return median(m.ns);
        }
        return 0.0;
    };

    const double floor_ns = figure("floor4");
    const double bare_inverse = figure("bare inverse_geodesic");
    const double bare_direct = figure("bare direct_geodesic");
    std::printf("%d rows, median of %d interleaved runs, SQLite %s\n\n", kRows, runs,
                sqlite3_libversion());
    std::printf("| function | ns per row | row minus floor | bare solver call |\n");
    std::printf("|---|---:|---:|---:|\n");
    std::printf("| floor (4 arguments read, sum returned) | %.1f | 0.0 | |\n", floor_ns);
    for (const char* f : {"distance", "azimut_start", "azimut_end", "project_lat", "project_lon"}) {
        const double ns = figure(f);
        const double bare = f[0] == 'p' ? bare_direct : bare_inverse;
        std::printf("| %s | %.1f | %.1f | %.1f |\n", f, ns, ns - floor_ns, bare);
    }
    sqlite3_close(db);
    return 0;
}
