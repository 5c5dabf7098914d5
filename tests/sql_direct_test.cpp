// SPDX-License-Identifier: MIT
// project_lat and project_lon through a real SQLite connection.
#include <sqlite3.h>

#include <string>

#include "tests/bits.h"
#include "tests/sqlite_connection.h"

namespace {

TEST(SqlDirect, FunctionsExistForFourArgumentsOnly) {
    Connection db;
    for (const std::string name : {"project_lat", "project_lon"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(db.prepare_error("SELECT " + name + "(1, 2, 3, 4)"), "");
        const std::string wrong = "wrong number of arguments to function " + name + "()";
        EXPECT_EQ(db.prepare_error("SELECT " + name + "(1, 2, 3)"), wrong);
        EXPECT_EQ(db.prepare_error("SELECT " + name + "(1, 2, 3, 4, 5)"), wrong);
    }
}

struct Expect {
    const char* sql;
    double value;
};

TEST(SqlDirect, Answers) {
    Connection db;
    const Expect exact[] = {
        {"project_lon(0, 20, 45, 0)", 20.0},
        {"project_lon(-30, 20, 123, 0)", 20.0},
        // Not wrapped: heading east from 170 for 2000 km ends beyond 180.
        {"project_lon(0, 170, 90, 2e6) > 180", 1.0},
        {"project_lon(0, 170, 90, 2e6) - 360 * round(project_lon(0, 170, 90, 2e6) / 360) < -170",
         1.0},
        {"typeof(project_lat(1, 2, 3, 4)) = 'real' AND typeof(project_lon(1, 2, 3, 4)) = 'real'",
         1.0},
        {"project_lat('10', '20', '30', '40000') = project_lat(10, 20, 30, 40000)", 1.0},
        {"project_lon(10, 20, 30, NULL) = project_lon(10, 20, 30, 0)", 1.0},
        {"project_lat(NULL, NULL, NULL, NULL) = project_lat(0, 0, 0, 0)", 1.0},
        {"project_lat(9e999, 0, 0, 1) IS NULL AND project_lon(0, 0, 0, 9e999) IS NULL", 1.0},
    };
    for (const Expect& c : exact) {
        SCOPED_TRACE(c.sql);
        EXPECT_SAME_DOUBLE(db.scalar(std::string("SELECT ") + c.sql).real, c.value);
    }
    const Expect near[] = {
        {"project_lat(12.5, 20, 77, 0)", 12.5},
        {"project_lon(90, 10, 0, 1e6)", 190.0},
        {"project_lat(0, 0, 0, 10001965.729)", 90.0},  // a quarter of the meridian
    };
    for (const Expect& c : near) {
        SCOPED_TRACE(c.sql);
        EXPECT_NEAR(db.scalar(std::string("SELECT ") + c.sql).real, c.value, 1e-7);
    }
}

// The wrap into [-180, 180] that the docs offer, on values that plain
// integer % would get wrong.
TEST(SqlDirect, WrappingTheLongitudeInSql) {
    Connection db;
    const Expect cases[] = {
        {"190.5", -169.5}, {"-190.25", 169.75}, {"725.0", 5.0}, {"179.0", 179.0},
        {"-45.5", -45.5},  {"360.0", 0.0},
    };
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.sql);
        const std::string lon = c.sql;
        EXPECT_EQ(db.scalar("SELECT " + lon + " - 360 * round(" + lon + " / 360.0)").real,
                  c.value);
    }
}

}  // namespace
