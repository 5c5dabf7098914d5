// SPDX-License-Identifier: MIT
// distance, azimut_start and azimut_end: the inverse problem in SQL.
//
// Each adapter runs the solver afresh and keeps one of its three results;
// nothing is cached between calls, so calls on any connections and threads
// are independent. The solver is inlined into each adapter, so the
// compiler can leave out the work for the two results it does not keep.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include "extension/functions.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse_impl.h"

namespace {

struct InverseResult {
    double distance;  // metres
    double azimuth1;  // radians
    double azimuth2;  // radians
};

// Reads lat1, lon1, lat2, lon2 in degrees, in order, each exactly once.
// The registration fixes the argument count at four, so argc is not read;
// NULL, integer, text and blob arguments are whatever SQLite's numeric
// conversion makes of them.
inline InverseResult inverse_from_sql(sqlite3_value** argv) {
    const double lat1 = sqlite3_value_double(argv[0]);
    const double lon1 = sqlite3_value_double(argv[1]);
    const double lat2 = sqlite3_value_double(argv[2]);
    const double lon2 = sqlite3_value_double(argv[3]);
    InverseResult r;
    geodesy::detail::solve_inverse(geodesy::deg_to_rad(lat1), geodesy::deg_to_rad(lon1),
                                   geodesy::deg_to_rad(lat2), geodesy::deg_to_rad(lon2),
                                   &r.distance, &r.azimuth1, &r.azimuth2, nullptr);
    return r;
}

}  // namespace

void distance_func(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
    sqlite3_result_double(context, inverse_from_sql(argv).distance);
}

void azimut_start_func(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
    sqlite3_result_double(context, geodesy::rad_to_deg(inverse_from_sql(argv).azimuth1));
}

void azimut_end_func(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
    sqlite3_result_double(context, geodesy::rad_to_deg(inverse_from_sql(argv).azimuth2));
}
