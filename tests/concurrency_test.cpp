// SPDX-License-Identifier: MIT
// Many threads and many connections at once: every result must be the
// same bits as in a single-threaded run, and nothing may leak (this
// program also runs under AddressSanitizer's leak checker and under
// ThreadSanitizer).
#include <sqlite3.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "tests/bits.h"
#include "tests/random_points.h"
#include "tests/sqlite_connection.h"

namespace {

constexpr int kFunctions = 5;
using Row = std::array<std::uint64_t, kFunctions>;  // bit patterns

struct Input {
    double a, b, c, d;  // lat1, lon1, lat2 or azimuth, lon2 or metres
};

std::vector<Input> seeded_inputs(int count) {
    RandomPoints random(8);
    std::vector<Input> inputs;
    inputs.reserve(count);
    for (int i = 0; i < count; ++i) {
        inputs.push_back({random.latitude(), random.longitude(), random.uniform(-90, 360),
                          random.uniform(-2e7, 2e7)});
    }
    return inputs;
}

// All five functions of every input on one connection of its own. Inverse
// functions read the third and fourth values as a point, the direct ones
// as an azimuth and a distance.
std::vector<Row> evaluate(const std::vector<Input>& inputs) {
    Connection db;
    sqlite3_stmt* stmt = db.prepare(
        "SELECT distance(?1, ?2, ?3 / 4, ?4 / 111111), azimut_start(?1, ?2, ?3 / 4, ?4 / 111111),"
        " azimut_end(?1, ?2, ?3 / 4, ?4 / 111111), project_lat(?1, ?2, ?3, ?4),"
        " project_lon(?1, ?2, ?3, ?4)");
    std::vector<Row> rows;
    if (!stmt) return rows;
    rows.reserve(inputs.size());
    for (const Input& in : inputs) {
        sqlite3_bind_double(stmt, 1, in.a);
        sqlite3_bind_double(stmt, 2, in.b);
        sqlite3_bind_double(stmt, 3, in.c);
        sqlite3_bind_double(stmt, 4, in.d);
        Row row{};
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int i = 0; i < kFunctions; ++i) row[i] = bits_of(sqlite3_column_double(stmt, i));
        }
        rows.push_back(row);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    return rows;
}

TEST(Concurrency, EightThreadsGiveTheSingleThreadedBits) {
    const std::vector<Input> inputs = seeded_inputs(100000);
    const std::vector<Row> expected = evaluate(inputs);
    ASSERT_EQ(expected.size(), inputs.size());

    // The single-threaded run closed its connection, which unloads the
    // module; the threads are released together so that they load it
    // afresh at the same moment, as a server starting its workers does.
    constexpr int kThreads = 8;
    std::vector<std::vector<Row>> results(kThreads);
    std::vector<std::thread> threads;
    std::atomic<int> waiting{kThreads};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            results[t] = evaluate(inputs);
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(results[t].size(), expected.size()) << "thread " << t;
        int differing = 0;
        for (size_t i = 0; i < expected.size(); ++i) differing += results[t][i] != expected[i];
        EXPECT_EQ(differing, 0) << "thread " << t;
    }
}

// Opening, loading, querying and closing in a loop leaves nothing behind:
// the extension keeps no per-connection state to leak.
TEST(Concurrency, ThousandConnectionsInARow) {
    for (int i = 0; i < 1000; ++i) {
        Connection db;
        const Connection::Value v = db.scalar("SELECT distance(0, 0, 0, 1) + project_lon(0, 0, 90, 1)");
        ASSERT_EQ(v.type, SQLITE_FLOAT) << "connection " << i;
    }
}

}  // namespace
