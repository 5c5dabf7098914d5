// SPDX-License-Identifier: MIT
// The copy linked into a program (libgeodesy.a) reached through both of its
// documented entry points at once: connections that get the functions from
// sqlite3_auto_extension (SQLite hands in its own routine table) beside
// connections on other threads that call sqlite3_geodesy_init(db, NULL,
// NULL) (no table: the entry point uses the linked SQLite's). Go's Auto()
// with a ConnectHook, or Rust's auto() with load(), do exactly this. Every
// result must be the single-threaded bits, and ThreadSanitizer (make tsan)
// must find no race on the routine table.
#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "extension/sqlite3_geodesy.h"
#include "tests/bits.h"
#include "tests/random_points.h"

namespace {

// lat1, lon1, lat2 (or azimuth / 4), lon2 (or metres / 111111).
std::vector<double> seeded_arguments(int rows) {
    RandomPoints random(36);
    std::vector<double> args;
    for (int i = 0; i < rows; ++i) {
        args.insert(args.end(), {random.latitude(), random.longitude(), random.uniform(-90, 360),
                                 random.uniform(-2e7, 2e7)});
    }
    return args;
}

// Opens a connection (the auto extension registers the functions), calls
// the entry point directly too if asked, and returns every row's five
// results as bit patterns.
std::vector<std::uint64_t> evaluate(const std::vector<double>& args, bool direct_init) {
    std::vector<std::uint64_t> bits;
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) return bits;
    if (direct_init) sqlite3_geodesy_init(db, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT distance(?1, ?2, ?3 / 4, ?4 / 111111), azimut_start(?1, ?2, ?3 / 4, "
                       "?4 / 111111), azimut_end(?1, ?2, ?3 / 4, ?4 / 111111), "
                       "project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)",
                       -1, &stmt, nullptr);
    for (size_t i = 0; stmt && i + 3 < args.size(); i += 4) {
        for (int k = 0; k < 4; ++k) sqlite3_bind_double(stmt, k + 1, args[i + k]);
        if (sqlite3_step(stmt) != SQLITE_ROW) break;
        for (int c = 0; c < 5; ++c) bits.push_back(bits_of(sqlite3_column_double(stmt, c)));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return bits;
}

TEST(Concurrency, AutoExtensionAndDirectInitMixedAcrossThreads) {
    ASSERT_EQ(sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(sqlite3_geodesy_init)),
              SQLITE_OK);
    const std::vector<double> args = seeded_arguments(2000);
    const std::vector<std::uint64_t> expected = evaluate(args, false);
    ASSERT_EQ(expected.size(), args.size() / 4 * 5);

    // Each thread opens a connection at a time, in turn with and without a
    // direct call, so that loads through both entry points keep
    // interleaving with other threads' queries.
    constexpr int kThreads = 6, kConnections = 8;
    std::vector<int> differing(kThreads, 0);
    std::vector<std::thread> threads;
    std::atomic<int> waiting{kThreads};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            for (int c = 0; c < kConnections; ++c) {
                if (evaluate(args, (t + c) % 2 == 1) != expected) ++differing[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    sqlite3_reset_auto_extension();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(differing[t], 0) << "thread " << t;
}

}  // namespace
