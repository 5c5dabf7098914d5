// SPDX-License-Identifier: MIT
// distance, azimut_start and azimut_end through a real SQLite connection:
// arity, types and exact answers. Every result bit is checked against an
// independent transcription by tests/reference/check_bits.py.
#include <sqlite3.h>

#include <string>

#include "tests/bits.h"
#include "tests/sqlite_connection.h"

namespace {

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

// The functions are registered without SQLITE_DETERMINISTIC and
// SQLITE_INNOCUOUS, so SQLite refuses them where it needs either; these
// are the messages the docs show. CHECK constraints accept them.
TEST(SqlInverse, WhereSQLiteRefusesTheFunctions) {
    struct Case {
        const char* schema;
        const char* statement;
        const char* error;  // "" where SQLite accepts it
    };
    const Case cases[] = {
        {"", "CREATE TABLE t(lat, lon, d AS (distance(lat, lon, 0, 0)))",
         "non-deterministic functions prohibited in generated columns"},
        {"CREATE TABLE t(lat, lon)", "CREATE INDEX i ON t(distance(lat, lon, 0, 0))",
         "non-deterministic functions prohibited in index expressions"},
        {"CREATE TABLE t(lat, lon)", "CREATE INDEX i ON t(lat) WHERE distance(lat, lon, 0, 0) > 1",
         "non-deterministic functions prohibited in partial index WHERE clauses"},
        {"CREATE TABLE t(lat, lon CHECK (distance(lat, lon, 0, 0) < 2e7))",
         "INSERT INTO t VALUES (1, 2)", ""},
        {"CREATE TABLE t(lat, lon); INSERT INTO t VALUES (1, 2);"
         "CREATE VIEW v AS SELECT distance(lat, lon, 0, 0) FROM t; PRAGMA trusted_schema = OFF",
         "SELECT * FROM v", "unsafe use of distance()"},
        {"CREATE TABLE t(lat, lon); CREATE TABLE log(d); PRAGMA trusted_schema = OFF;"
         "CREATE TRIGGER tr AFTER INSERT ON t BEGIN"
         " INSERT INTO log VALUES (distance(new.lat, new.lon, 0, 0)); END",
         "INSERT INTO t VALUES (1, 2)", "unsafe use of distance()"},
        {"CREATE TABLE t(lat, lon); INSERT INTO t VALUES (1, 2);"
         "CREATE VIEW v AS SELECT distance(lat, lon, 0, 0) FROM t; PRAGMA trusted_schema = ON",
         "SELECT * FROM v", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        Connection db;
        ASSERT_EQ(sqlite3_exec(db.get(), c.schema, nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db.get());
        const int rc = sqlite3_exec(db.get(), c.statement, nullptr, nullptr, nullptr);
        EXPECT_EQ(rc == SQLITE_OK ? std::string() : std::string(sqlite3_errmsg(db.get())),
                  c.error);
    }
}

TEST(SqlInverse, EveryConnectionThatLoadsItGetsTheFunctions) {
    Connection first;
    Connection second;
    EXPECT_SAME_DOUBLE(first.scalar("SELECT distance(1, 2, 3, 4)").real,
                       second.scalar("SELECT distance(1, 2, 3, 4)").real);
}

}  // namespace
