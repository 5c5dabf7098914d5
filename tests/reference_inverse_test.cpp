// SPDX-License-Identifier: MIT
// The inverse solver against GeographicLib's Inverse on the same ellipsoid:
// an independent method (Karney's series), accurate to a few nanometres.
#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <iomanip>

#include "geodesy/ellipsoid.h"
#include "geodesy/inverse.h"
#include "tests/random_points.h"
#include "tests/reference.h"

#include <gtest/gtest.h>

namespace {

using geodesy::deg_to_rad;
using geodesy::rad_to_deg;

// Difference of two azimuths in degrees, the short way round.
double azimuth_gap(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::fmin(d, 360.0 - d);
}

// 0.1 mm in length; 1e-8 degrees in azimuth, or for lines shorter than
// 60 m a sideways offset of 10 nm at the far end, since the azimuth of a
// line a few metres long is only as good as the rounding of its end points.
double azimuth_tolerance(double metres) {
    return std::fmax(1e-8, rad_to_deg(1e-8 / metres));
}

// Compares one pair and reports it with its coordinates when it is off.
void expect_matches_reference(const GeographicLib::Geodesic& reference, double lat1,
                              double lon1, double lat2, double lon2) {
    double s12, azi1, azi2;
    reference.Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
    double s, a1, a2;
    geodesy::inverse_geodesic(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(lat2),
                              deg_to_rad(lon2), &s, &a1, &a2);
    SCOPED_TRACE(testing::Message() << std::setprecision(17) << "(" << lat1 << ", " << lon1
                                    << ") to (" << lat2 << ", " << lon2 << ")");
    EXPECT_NEAR(s, s12, 1e-4);
    EXPECT_LT(azimuth_gap(rad_to_deg(a1), azi1), azimuth_tolerance(s12));
    EXPECT_LT(azimuth_gap(rad_to_deg(a2), azi2), azimuth_tolerance(s12));
}

// Pairs uniform over the sphere, leaving out the nearly antipodal band
// where the iteration is known not to converge.
TEST(InverseReference, RandomPairs) {
    RandomPoints random(20261208);
    int compared = 0;
    while (compared < 4000) {
        const double lat1 = random.latitude(), lon1 = random.longitude();
        const double lat2 = random.latitude(), lon2 = random.longitude();
        double s12, azi1, azi2;
        const double arc = wgs84().Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
        if (arc > 175.0) continue;
        expect_matches_reference(wgs84(), lat1, lon1, lat2, lon2);
        ++compared;
    }
}

TEST(InverseReference, ShortLines) {
    RandomPoints random(7);
    for (int i = 0; i < 1000; ++i) {
        const double lat1 = random.latitude(), lon1 = random.longitude();
        const double span = std::pow(10.0, random.uniform(-5, -0.5));  // 1 m to 35 km
        expect_matches_reference(wgs84(), lat1, lon1, lat1 + random.uniform(-span, span),
                                 lon1 + random.uniform(-span, span));
    }
}

struct Line {
    const char* kind;
    double lat1, lon1, lat2, lon2;
};

TEST(InverseReference, SpecialLines) {
    const Line lines[] = {
        {"meridian arc, equator to pole", 0, 10, 90, 10},
        {"meridian arc, across the equator", -45, -70, 60, -70},
        {"meridian arc over a pole", 80, 0, 80, 180},
        {"equator, short", 0, 0, 0, 0.001},
        {"equator, long", 0, -170, 0, 170},
        {"near a pole", 89.999, 0, 89.999, 90},
        {"pole to pole", -90, 0, 90, 0},
        {"across the antimeridian", 10, 179.5, -10, -179.5},
        {"longitude difference beyond 180", 30, -170, 40, 200},
        {"just off the equator", 1e-6, 0, 1e-6, 1},
        {"Flinders Peak to Buninyong", -37.9510334166667, 144.424867888889, -37.6528211388889,
         143.926495527778},
    };
    for (const Line& l : lines) {
        SCOPED_TRACE(l.kind);
        expect_matches_reference(wgs84(), l.lat1, l.lon1, l.lat2, l.lon2);
    }
}

}  // namespace
