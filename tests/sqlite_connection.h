// SPDX-License-Identifier: MIT
// A real SQLite connection with the built extension loaded, for tests that
// use the library the way a host does.
#ifndef GEODESY_TESTS_SQLITE_CONNECTION_H
#define GEODESY_TESTS_SQLITE_CONNECTION_H

#include <sqlite3.h>

#include <string>

#include <gtest/gtest.h>

class Connection {
public:
    // Opens an in-memory database and loads the module under test.
    Connection() {
        if (sqlite3_open(":memory:", &db_) != SQLITE_OK) {
            ADD_FAILURE() << "cannot open an in-memory database";
            return;
        }
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr);
        char* error = nullptr;
        if (sqlite3_load_extension(db_, GEODESY_MODULE_PATH, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << "cannot load " << GEODESY_MODULE_PATH << ": "
                          << (error ? error : "?");
        }
        sqlite3_free(error);
    }
    ~Connection() { sqlite3_close(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* get() const { return db_; }

    // Prepares one statement; fails the test and returns null on error.
    sqlite3_stmt* prepare(const std::string& sql) const {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
        }
        return stmt;
    }

    // The error that preparing sql gives, or "" if it prepares.
    std::string prepare_error(const std::string& sql) const {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
        sqlite3_finalize(stmt);
        return rc == SQLITE_OK ? "" : sqlite3_errmsg(db_);
    }

    // Runs a one-value query and returns that value's type and double.
    struct Value {
        int type;
        double real;
    };
    Value scalar(const std::string& sql) const {
        Value v{SQLITE_NULL, 0.0};
        sqlite3_stmt* stmt = prepare(sql);
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            v.type = sqlite3_column_type(stmt, 0);
            v.real = sqlite3_column_double(stmt, 0);
        } else {
            ADD_FAILURE() << sql << ": no row";
        }
        sqlite3_finalize(stmt);
        return v;
    }

private:
    sqlite3* db_ = nullptr;
};

#endif  // GEODESY_TESTS_SQLITE_CONNECTION_H
