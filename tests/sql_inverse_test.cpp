// distance, azimut_start and azimut_end through a real SQLite connection.
#include <sqlite3.h>

#include <cmath>
#include <string>

#include "geodesy/ellipsoid.h"
#include "geodesy/inverse.h"
#include "tests/bits.h"
#include "tests/sqlite_connection.h"

namespace {

using geodesy::deg_to_rad;
using geodesy::rad_to_deg;

const char* const inverse_functions[] = {"distance", "azimut_start", "azimut_end"};

TEST(SqlInverse, FunctionsExistForFourArgumentsOnly) {
    Connection db;
    for (const char* f : inverse_functions) {
        SCOPED_TRACE(f);
        const std::string name = f;
        EXPECT_EQ(db.prepare_error("SELECT " + name + "(1, 2, 3, 4)"), "");
        const std::string wrong = "wrong number of arguments to function " + name + "()";
        EXPECT_EQ(db.prepare_error("SELECT " + name + "(1, 2, 3)"), wrong);
        EXPECT_EQ(db.prepare_error("SELECT " + name + "(1, 2, 3, 4, 5)"), wrong);
        EXPECT_EQ(db.prepare_error("SELECT " + name + "()"), wrong);
    }
}

// What SQL hands back is the solver's own result, converted to degrees for
// the azimuths and untouched for the distance.
TEST(SqlInverse, ResultsAreTheSolversBits) {
    Connection db;
    sqlite3_stmt* stmt = db.prepare(
        "SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), "
        "azimut_end(?1, ?2, ?3, ?4)");
    ASSERT_NE(stmt, nullptr);
    const double cases[][4] = {
        {51.4778, -0.0015, 40.6892, -74.0445},  // Greenwich to New York
        {-33.8568, 151.2153, 35.6586, 139.7454},
        {0, 0, 0.5, 179.5},
        {89.9, 0, -89.9, 1},
        {10, 20, 10, 20},
        {0, 0, 0, 179.7},  // runs all passes
        {1e-6, 0, 1e-6, 1},
        {-37.95, 144.42, -37.65, 143.93},
        {100, -200, 45, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << ", " << c[1] << ", " << c[2] << ", " << c[3]);
        for (int i = 0; i < 4; ++i) sqlite3_bind_double(stmt, i + 1, c[i]);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        double s, a1, a2;
        geodesy::inverse_geodesic(deg_to_rad(c[0]), deg_to_rad(c[1]), deg_to_rad(c[2]),
                                  deg_to_rad(c[3]), &s, &a1, &a2);
        for (int col = 0; col < 3; ++col) EXPECT_EQ(sqlite3_column_type(stmt, col), SQLITE_FLOAT);
        EXPECT_SAME_DOUBLE(sqlite3_column_double(stmt, 0), s);
        EXPECT_SAME_DOUBLE(sqlite3_column_double(stmt, 1), rad_to_deg(a1));
        EXPECT_SAME_DOUBLE(sqlite3_column_double(stmt, 2), rad_to_deg(a2));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
}

struct Expect {
    const char* sql;
    double value;
};

TEST(SqlInverse, ExactAnswers) {
    Connection db;
    const Expect cases[] = {
        {"azimut_start(0, 0, 0, 1)", 90.0},   {"azimut_end(0, 0, 0, 1)", 90.0},
        {"azimut_start(0, 0, 0, -1)", 270.0}, {"azimut_end(0, 0, 0, -1)", 270.0},
        {"azimut_start(0, 0, 1, 0)", 0.0},    {"azimut_end(0, 0, 1, 0)", 0.0},
        {"azimut_start(0, 0, -1, 0)", 180.0}, {"azimut_end(0, 0, -1, 0)", 180.0},
        {"distance(12, 34, 12, 34)", 0.0},    {"azimut_start(12, 34, 12, 34)", 0.0},
        {"azimut_end(12, 34, 12, 34)", 0.0},
        {"distance(0, 0, 0, -1) = distance(0, 0, 0, 1)", 1.0},
    };
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_SAME_DOUBLE(db.scalar(std::string("SELECT ") + c.sql).real, c.value);
    }
}

// Arguments are read as SQLite converts them to numbers; the result is
// always REAL, and NULL is read as 0 rather than giving NULL.
TEST(SqlInverse, ArgumentsOfAnyTypeAreReadAsNumbers) {
    Connection db;
    const Expect same_as_reals[] = {
        {"distance(10, 20, 30, 40) = distance(10.0, 20.0, 30.0, 40.0)", 1.0},
        {"distance('10', '20', '30', '40') = distance(10.0, 20.0, 30.0, 40.0)", 1.0},
        {"distance(' 10.5e0', 20, 30, 40) = distance(10.5, 20, 30, 40)", 1.0},
        {"distance(NULL, 20, 30, 40) = distance(0, 20, 30, 40)", 1.0},
        {"azimut_start(10, 20, NULL, NULL) = azimut_start(10, 20, 0, 0)", 1.0},
        {"distance('abc', 20, 30, 40) = distance(0, 20, 30, 40)", 1.0},
        {"distance(x'00', 20, 30, 40) = distance(0, 20, 30, 40)", 1.0},
    };
    for (const Expect& c : same_as_reals) {
        SCOPED_TRACE(c.sql);
        EXPECT_SAME_DOUBLE(db.scalar(std::string("SELECT ") + c.sql).real, c.value);
    }
    for (const char* f : inverse_functions) {
        const Connection::Value v = db.scalar(std::string("SELECT ") + f + "(1, 2, 3, 4)");
        EXPECT_EQ(v.type, SQLITE_FLOAT) << f;
        EXPECT_EQ(db.scalar(std::string("SELECT ") + f + "(NULL, NULL, NULL, NULL)").type,
                  SQLITE_FLOAT)
            << f;
    }
}

// A NaN result reaches SQL as NULL, which is how SQLite stores NaN.
TEST(SqlInverse, NanResultIsNull) {
    Connection db;
    for (const char* f : inverse_functions) {
        EXPECT_EQ(db.scalar(std::string("SELECT ") + f + "(9e999, 0, 0, 0)").type, SQLITE_NULL)
            << f;
    }
}

TEST(SqlInverse, EveryConnectionThatLoadsItGetsTheFunctions) {
    Connection first;
    Connection second;
    EXPECT_SAME_DOUBLE(first.scalar("SELECT distance(1, 2, 3, 4)").real,
                       second.scalar("SELECT distance(1, 2, 3, 4)").real);
}

}  // namespace
