// SPDX-License-Identifier: MIT
// libFuzzer target: both solvers directly and all five SQL functions
// through a real connection, on raw 8-byte double patterns (NaN payloads,
// infinities, subnormals, huge values, negative zero) and on integer,
// text, blob and NULL arguments.
//
// Input: four 8-byte words, the arguments as double bit patterns, then one
// optional byte per argument picking how it is bound in SQL (real,
// integer, text, blob or NULL). What must hold, whatever the input:
//   - every call returns and no sanitizer reports anything;
//   - the inverse azimuths lie in [0, 2π] or are NaN, the latitude reached
//     lies in [−π/2, π/2] or is NaN;
//   - each SQL result is REAL, or NULL exactly where the value is a NaN;
//   - with real arguments, SQL hands back the solver's own bits.
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "geodesy/direct.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse.h"

extern "C" int sqlite3_extension_init(sqlite3*, char**, const sqlite3_api_routines*);

namespace {

#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition)) {                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                         #condition);                                           \
            std::abort();                                                       \
        }                                                                       \
    } while (0)

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

enum Kind { kReal, kInteger, kText, kBlob, kNull, kKinds };

struct Sql {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;

    Sql() {
        // The extension is linked into this program (so that it is
        // instrumented) and registered the way SQLite loads any extension.
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(sqlite3_extension_init));
        FUZZ_CHECK(sqlite3_open(":memory:", &db) == SQLITE_OK);
        FUZZ_CHECK(sqlite3_prepare_v2(db,
                                      "SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4),"
                                      " azimut_end(?1, ?2, ?3, ?4), project_lat(?1, ?2, ?3, ?4),"
                                      " project_lon(?1, ?2, ?3, ?4)",
                                      -1, &stmt, nullptr) == SQLITE_OK);
    }
};

void bind(sqlite3_stmt* stmt, int index, double value, Kind kind) {
    switch (kind) {
        case kReal: sqlite3_bind_double(stmt, index, value); break;
        case kInteger: {
            std::int64_t i;
            std::memcpy(&i, &value, sizeof i);
            sqlite3_bind_int64(stmt, index, i);
            break;
        }
        case kText: {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", value);
            sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT);
            break;
        }
        case kBlob: sqlite3_bind_blob(stmt, index, &value, sizeof value, SQLITE_TRANSIENT); break;
        default: sqlite3_bind_null(stmt, index); break;
    }
}

void check_solvers(const double in[4], double expected[5]) {
    double s, a1, a2;
    geodesy::inverse_geodesic(in[0], in[1], in[2], in[3], &s, &a1, &a2);
    (void)s;
    for (double az : {a1, a2}) FUZZ_CHECK(std::isnan(az) || (az >= 0.0 && az <= geodesy::two_pi));

    double lat2, lon2;
    geodesy::direct_geodesic(in[0], in[1], in[2], in[3], &lat2, &lon2);
    FUZZ_CHECK(std::isnan(lat2) || std::fabs(lat2) <= geodesy::pi / 2);

    // What SQL must return for the same values given in degrees.
    using geodesy::deg_to_rad;
    using geodesy::rad_to_deg;
    geodesy::inverse_geodesic(deg_to_rad(in[0]), deg_to_rad(in[1]), deg_to_rad(in[2]),
                              deg_to_rad(in[3]), &s, &a1, &a2);
    geodesy::direct_geodesic(deg_to_rad(in[0]), deg_to_rad(in[1]), deg_to_rad(in[2]), in[3],
                             &lat2, &lon2);
    const double results[5] = {s, rad_to_deg(a1), rad_to_deg(a2), rad_to_deg(lat2),
                               rad_to_deg(lon2)};
    std::memcpy(expected, results, sizeof results);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 32) return -1;  // not an input: four doubles are needed
    double in[4];
    std::memcpy(in, data, sizeof in);
    Kind kinds[4] = {kReal, kReal, kReal, kReal};
    bool all_real = true;
    for (int i = 0; i < 4; ++i) {
        if (size > 32 + static_cast<std::size_t>(i)) kinds[i] = Kind(data[32 + i] % kKinds);
        // SQLite stores a bound NaN as NULL, which reads back as 0.
        all_real = all_real && kinds[i] == kReal && !std::isnan(in[i]);
    }

    double expected[5];
    check_solvers(in, expected);

    static Sql sql;
    for (int i = 0; i < 4; ++i) bind(sql.stmt, i + 1, in[i], kinds[i]);
    FUZZ_CHECK(sqlite3_step(sql.stmt) == SQLITE_ROW);
    for (int col = 0; col < 5; ++col) {
        const int type = sqlite3_column_type(sql.stmt, col);
        FUZZ_CHECK(type == SQLITE_FLOAT || type == SQLITE_NULL);
        if (all_real) {
            FUZZ_CHECK(type == (std::isnan(expected[col]) ? SQLITE_NULL : SQLITE_FLOAT));
            if (type == SQLITE_FLOAT) {
                FUZZ_CHECK(same_bits(sqlite3_column_double(sql.stmt, col), expected[col]));
            }
        }
    }
    sqlite3_reset(sql.stmt);
    sqlite3_clear_bindings(sql.stmt);
    return 0;
}
