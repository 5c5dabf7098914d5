// SPDX-License-Identifier: MIT
// The entry point against a host of our own: a routine table that records
// every registration and refuses it, and argument and result routines that
// record what the adapters read and set.
#define SQLITE_CORE 1  // the routine table's type, without the API macros
#include <sqlite3ext.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "geodesy/direct.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse.h"
#include "tests/bits.h"

namespace {

using Adapter = void (*)(sqlite3_context*, int, sqlite3_value**);
using EntryPoint = int (*)(sqlite3*, char**, const sqlite3_api_routines*);

struct Registration {
    sqlite3* db;
    std::string name;
    int n_arg;
    int text_rep;
    void* user_data;
    Adapter func;
    Adapter step;
    void (*final)(sqlite3_context*);
};

// What the fake host saw; reset by each test.
std::vector<Registration> registrations;
std::vector<sqlite3_value*> values_read;
int results_set = 0;
int table_used = 0;  // which of two routine tables the last routine came from

int refuse_create_function(sqlite3* db, const char* name, int n_arg, int text_rep,
                           void* user_data, Adapter func, Adapter step,
                           void (*final)(sqlite3_context*)) {
    registrations.push_back({db, name, n_arg, text_rep, user_data, func, step, final});
    return SQLITE_ERROR;
}

// Arguments are plain doubles in disguise; the context is where the result
// goes.
template <int Table>
double value_double(sqlite3_value* v) {
    table_used = Table;
    values_read.push_back(v);
    return *reinterpret_cast<double*>(v);
}

template <int Table>
void result_double(sqlite3_context* context, double x) {
    table_used = Table;
    ++results_set;
    *reinterpret_cast<double*>(context) = x;
}

template <int Table>
sqlite3_api_routines fake_table() {
    sqlite3_api_routines api{};
    api.create_function = refuse_create_function;
    api.value_double = value_double<Table>;
    api.result_double = result_double<Table>;
    return api;
}

class EntryPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        registrations.clear();
        values_read.clear();
        results_set = 0;
        module_ = dlopen(GEODESY_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << dlerror();
        init_ = reinterpret_cast<EntryPoint>(dlsym(module_, "sqlite3_extension_init"));
        ASSERT_NE(init_, nullptr);
    }
    void TearDown() override {
        if (module_) dlclose(module_);
    }

    // Runs the adapter registered as name on four doubles.
    double call(const std::string& name, double a, double b, double c, double d) {
        double args[4] = {a, b, c, d};
        sqlite3_value* argv[4];
        for (int i = 0; i < 4; ++i) argv[i] = reinterpret_cast<sqlite3_value*>(&args[i]);
        double result = -1.0;
        for (const Registration& r : registrations) {
            if (r.name == name) {
                values_read.clear();
                r.func(reinterpret_cast<sqlite3_context*>(&result), 4, argv);
                EXPECT_EQ(values_read, std::vector<sqlite3_value*>(argv, argv + 4))
                    << name << " reads each argument once, in order";
            }
        }
        return result;
    }

    void* module_ = nullptr;
    EntryPoint init_ = nullptr;
};

TEST_F(EntryPointTest, RegistersEveryFunctionAlikeAndIgnoresRefusals) {
    const sqlite3_api_routines api = fake_table<1>();
    int connection = 0;
    sqlite3* db = reinterpret_cast<sqlite3*>(&connection);
    char sentinel[] = "untouched";
    char* error_message = sentinel;

    EXPECT_EQ(init_(db, &error_message, &api), SQLITE_OK);
    EXPECT_EQ(error_message, sentinel);

    const std::vector<std::string> expected = {"distance", "azimut_start", "azimut_end",
                                               "project_lat", "project_lon"};
    ASSERT_EQ(registrations.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Registration& r = registrations[i];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.name, expected[i]);
        EXPECT_EQ(r.db, db);
        EXPECT_EQ(r.n_arg, 4);
        EXPECT_EQ(r.text_rep, SQLITE_UTF8);
        EXPECT_EQ(r.user_data, nullptr);
        EXPECT_NE(r.func, nullptr);
        EXPECT_EQ(r.step, nullptr);
        EXPECT_EQ(r.final, nullptr);
    }
}

TEST_F(EntryPointTest, AdaptersHandBackOneSolverResult) {
    const sqlite3_api_routines api = fake_table<1>();
    init_(nullptr, nullptr, &api);
    double s, a1, a2;
    geodesy::inverse_geodesic(geodesy::deg_to_rad(10.0), geodesy::deg_to_rad(20.0),
                              geodesy::deg_to_rad(-30.0), geodesy::deg_to_rad(40.0), &s, &a1,
                              &a2);
    EXPECT_SAME_DOUBLE(call("distance", 10, 20, -30, 40), s);
    EXPECT_SAME_DOUBLE(call("azimut_start", 10, 20, -30, 40), geodesy::rad_to_deg(a1));
    EXPECT_SAME_DOUBLE(call("azimut_end", 10, 20, -30, 40), geodesy::rad_to_deg(a2));

    double lat2, lon2;
    geodesy::direct_geodesic(geodesy::deg_to_rad(10.0), geodesy::deg_to_rad(20.0),
                             geodesy::deg_to_rad(-30.0), 4e6, &lat2, &lon2);
    EXPECT_SAME_DOUBLE(call("project_lat", 10, 20, -30, 4e6), geodesy::rad_to_deg(lat2));
    EXPECT_SAME_DOUBLE(call("project_lon", 10, 20, -30, 4e6), geodesy::rad_to_deg(lon2));
    EXPECT_EQ(results_set, 5);
}

// A second load hands in another table; from then on every adapter, on any
// connection, goes through the table stored last.
TEST_F(EntryPointTest, AdaptersUseTheTableStoredLast) {
    const sqlite3_api_routines first = fake_table<1>();
    const sqlite3_api_routines second = fake_table<2>();
    init_(nullptr, nullptr, &first);
    call("distance", 1, 2, 3, 4);
    EXPECT_EQ(table_used, 1);
    init_(nullptr, nullptr, &second);
    call("distance", 1, 2, 3, 4);
    EXPECT_EQ(table_used, 2);
}

}  // namespace
