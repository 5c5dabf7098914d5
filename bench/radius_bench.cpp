// SPDX-License-Identifier: MIT
// Milliseconds per radius query over 1,000,000 points: a full scan with
// distance() against the R*Tree prefilter of examples/recipes/radius-query.sql,
// for radii of 1, 10, 100 and 1000 km around seeded centres.
//
//   radius_bench path/to/geodesy.so path/to/radius-query.sql
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/workloads.h"

namespace {

constexpr int kPoints = 1000000;
constexpr int kCentres = 25;     // per radius, for the R*Tree
constexpr int kScanCentres = 5;  // per radius, for the full scan

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), sqlite3_errmsg(db));
    std::exit(1);
}

void exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, sql);
}

// Runs the query for one centre; returns milliseconds and the rows found.
double run_ms(sqlite3_stmt* stmt, double lat, double lon, double metres, long* rows) {
    sqlite3_bind_double(stmt, sqlite3_bind_parameter_index(stmt, ":lat"), lat);
    sqlite3_bind_double(stmt, sqlite3_bind_parameter_index(stmt, ":lon"), lon);
    sqlite3_bind_double(stmt, sqlite3_bind_parameter_index(stmt, ":r"), metres);
    const auto start = std::chrono::steady_clock::now();
    long n = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) ++n;
    const auto stop = std::chrono::steady_clock::now();
    sqlite3_reset(stmt);
    *rows += n;
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s path/to/geodesy.so path/to/radius-query.sql\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[2]);
    std::stringstream text;
    text << file.rdbuf();
    const std::string query = text.str();
    if (query.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }

    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr);
    char* error = nullptr;
    if (sqlite3_load_extension(db, argv[1], nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error ? error : "?");
        return 1;
    }

    // Points uniform over the globe, as the place table of the recipe.
    bench::Random random(4);
    exec(db, "CREATE TABLE place(id INTEGER PRIMARY KEY, name TEXT, lat REAL, lon REAL)");
    exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO place(lat, lon) VALUES (?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < kPoints; ++i) {
        sqlite3_bind_double(insert, 1, random.latitude());
        sqlite3_bind_double(insert, 2, random.uniform(-180, 180));
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(db, "CREATE VIRTUAL TABLE place_box USING rtree(id, min_lat, max_lat, min_lon, max_lon)");
    exec(db, "INSERT INTO place_box SELECT id, lat, lat, lon, lon FROM place");
    exec(db, "COMMIT");

    sqlite3_stmt* prefiltered = nullptr;
    sqlite3_stmt* full_scan = nullptr;
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &prefiltered, nullptr) != SQLITE_OK) {
        fail(db, argv[2]);
    }
    sqlite3_prepare_v2(db, "SELECT id FROM place WHERE distance(:lat, :lon, lat, lon) <= :r", -1,
                       &full_scan, nullptr);

    std::printf("%d points uniform over the globe, SQLite %s; median ms per query\n\n", kPoints,
                sqlite3_libversion());
    std::printf("| radius | points found (mean) | full scan (ms) | R*Tree prefilter (ms) | speed-up |\n");
    std::printf("|---:|---:|---:|---:|---:|\n");
    for (double km : {1.0, 10.0, 100.0, 1000.0}) {
        std::vector<double> scan, tree;
        long scan_rows = 0, tree_rows = 0;
        for (int c = 0; c < kCentres; ++c) {
            const double lat = random.latitude(), lon = random.uniform(-180, 180);
            tree.push_back(run_ms(prefiltered, lat, lon, km * 1000, &tree_rows));
            if (c < kScanCentres) scan.push_back(run_ms(full_scan, lat, lon, km * 1000, &scan_rows));
        }
        std::printf("| %.0f km | %.1f | %.0f | %.2f | %.0f× |\n", km,
                    static_cast<double>(tree_rows) / kCentres, median(scan), median(tree),
                    median(scan) / median(tree));
    }
    sqlite3_finalize(prefiltered);
    sqlite3_finalize(full_scan);
    sqlite3_close(db);
    return 0;
}
