// SPDX-License-Identifier: MIT
// The direct solver against GeographicLib's Direct on the same ellipsoid,
// and round trips through the inverse solver.
#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <iomanip>

#include "geodesy/direct.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse.h"
#include "tests/random_points.h"
#include "tests/reference.h"

#include <gtest/gtest.h>

namespace {

using geodesy::deg_to_rad;
using geodesy::rad_to_deg;

struct Start {
    double lat1, lon1, azimuth, metres;
};

Start random_start(RandomPoints& random, double max_metres) {
    return {random.latitude(), random.longitude(), random.uniform(0, 360),
            random.uniform(0, max_metres)};
}

// Our point and GeographicLib's, and the distance between them in metres.
double miss_in_metres(const Start& s, double* lat2, double* lon2) {
    double lat2_rad, lon2_rad;
    geodesy::direct_geodesic(deg_to_rad(s.lat1), deg_to_rad(s.lon1), deg_to_rad(s.azimuth),
                             s.metres, &lat2_rad, &lon2_rad);
    *lat2 = rad_to_deg(lat2_rad);
    *lon2 = rad_to_deg(lon2_rad);
    double ref_lat2, ref_lon2, gap;
    wgs84().Direct(s.lat1, s.lon1, s.azimuth, s.metres, ref_lat2, ref_lon2);
    wgs84().Inverse(*lat2, *lon2, ref_lat2, ref_lon2, gap);
    return gap;
}

TEST(DirectReference, RandomStartsUpTo20000Km) {
    RandomPoints random(1975);
    for (int i = 0; i < 4000; ++i) {
        const Start s = random_start(random, 20e6);
        double lat2, lon2;
        EXPECT_LT(miss_in_metres(s, &lat2, &lon2), 1e-4)
            << std::setprecision(17) << "from (" << s.lat1 << ", " << s.lon1 << ") heading "
            << s.azimuth << " for " << s.metres << " m";
    }
}

// Lines far beyond half the globe: σ past π and 2π is carried on round the
// ellipsoid, not reduced.
TEST(DirectReference, AroundTheGlobeAndFurther) {
    RandomPoints random(2);
    for (int i = 0; i < 500; ++i) {
        Start s = random_start(random, 0);
        s.metres = random.uniform(20e6, 80e6);
        double lat2, lon2;
        EXPECT_LT(miss_in_metres(s, &lat2, &lon2), 1e-3)
            << std::setprecision(17) << "from (" << s.lat1 << ", " << s.lon1 << ") heading "
            << s.azimuth << " for " << s.metres << " m";
    }
}

// Where the inverse solver converges, it takes the point reached back to
// the distance and azimuth set out with.
TEST(DirectReference, RoundTripThroughTheInverse) {
    RandomPoints random(42);
    int compared = 0;
    while (compared < 2000) {
        const Start s = random_start(random, 19e6);
        if (s.metres < 1.0) continue;
        double lat2, lon2, s12, arc;
        miss_in_metres(s, &lat2, &lon2);
        double azi1_ref, azi2_ref;
        arc = wgs84().Inverse(s.lat1, s.lon1, lat2, lon2, s12, azi1_ref, azi2_ref);
        if (arc > 175.0 || std::fabs(s12 - s.metres) > 1e-3) continue;  // not the shortest line
        double back_metres, azimuth1, azimuth2;
        geodesy::inverse_geodesic(deg_to_rad(s.lat1), deg_to_rad(s.lon1), deg_to_rad(lat2),
                                  deg_to_rad(lon2), &back_metres, &azimuth1, &azimuth2);
        SCOPED_TRACE(testing::Message() << std::setprecision(17) << "from (" << s.lat1 << ", "
                                        << s.lon1 << ") heading " << s.azimuth << " for "
                                        << s.metres << " m");
        EXPECT_NEAR(back_metres, s.metres, 1e-4);
        EXPECT_NEAR(std::remainder(rad_to_deg(azimuth1) - s.azimuth, 360.0), 0.0, 1e-8);
        ++compared;
    }
}

}  // namespace
