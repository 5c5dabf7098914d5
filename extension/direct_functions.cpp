// SPDX-License-Identifier: MIT
// project_lat and project_lon: the direct problem in SQL.
//
// Both adapters run the same solver on the same inputs and keep one of its
// two results; nothing is cached between calls. The solver is inlined into
// each adapter, so the compiler can leave out the work for the other one.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include "extension/functions.h"
#include "geodesy/direct_impl.h"
#include "geodesy/ellipsoid.h"

namespace {

struct DirectResult {
    double lat2;  // radians
    double lon2;  // radians, not wrapped
};

// Reads lat1, lon1 and the azimuth in degrees and the distance in metres,
// in order, each exactly once; the distance goes to the solver unconverted.
inline DirectResult direct_from_sql(sqlite3_value** argv) {
    const double lat1 = sqlite3_value_double(argv[0]);
    const double lon1 = sqlite3_value_double(argv[1]);
    const double azimuth = sqlite3_value_double(argv[2]);
    const double metres = sqlite3_value_double(argv[3]);
    DirectResult r;
    geodesy::detail::solve_direct(geodesy::deg_to_rad(lat1), geodesy::deg_to_rad(lon1),
                                  geodesy::deg_to_rad(azimuth), metres, &r.lat2, &r.lon2, nullptr);
    return r;
}

}  // namespace

void project_lat_func(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
    sqlite3_result_double(context, geodesy::rad_to_deg(direct_from_sql(argv).lat2));
}

void project_lon_func(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
    sqlite3_result_double(context, geodesy::rad_to_deg(direct_from_sql(argv).lon2));
}
