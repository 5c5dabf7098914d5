// SPDX-License-Identifier: MIT
// direct_geodesic in radians and metres: no move, equatorial and polar
// starts, backwards travel, long distances and non-finite input.
#include "geodesy/direct.h"
#include "geodesy/direct_impl.h"

#include <cmath>
#include <limits>

#include "geodesy/ellipsoid.h"
#include "tests/bits.h"

namespace {

using geodesy::deg_to_rad;
using geodesy::rad_to_deg;

struct Point {
    double lat, lon;  // degrees
};

// Calls the solver with degrees, as the SQL functions do.
Point project(double lat1, double lon1, double azimuth, double metres) {
    double lat2, lon2;
    geodesy::direct_geodesic(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(azimuth), metres,
                             &lat2, &lon2);
    return {rad_to_deg(lat2), rad_to_deg(lon2)};
}

// A whole degree of arc on the equator's circle, in metres.
double equator_degrees(double metres) { return rad_to_deg(metres / geodesy::semi_major_axis); }

TEST(DirectGeodesic, NoDistanceStaysPut) {
    const Point starts[] = {{0, 20}, {45, -120}, {-89, 179.5}, {60, 0}, {10, 400}};
    for (const Point& p : starts) {
        for (double azimuth : {0.0, 45.0, 90.0, 200.0}) {
            SCOPED_TRACE(testing::Message() << p.lat << ", " << p.lon << " heading " << azimuth);
            const Point q = project(p.lat, p.lon, azimuth, 0.0);
            EXPECT_SAME_DOUBLE(q.lon, rad_to_deg(deg_to_rad(p.lon)));
            EXPECT_NEAR(q.lat, p.lat, 1e-12);
        }
    }
    EXPECT_SAME_DOUBLE(project(0, 20, 33, 0).lon, 20.0);
}

// Along the equator the solver reduces to a circle of radius a: east or
// west by s/a radians, with the latitude staying (to rounding) at 0.
TEST(DirectGeodesic, AlongTheEquator) {
    struct Case {
        double azimuth, metres, expected_lon;  // from longitude 10
    };
    const Case cases[] = {
        {90, 1000, 10 + equator_degrees(1000)},
        {90, 10e6, 10 + equator_degrees(10e6)},
        {270, 10e6, 10 - equator_degrees(10e6)},
        // Past half the equator λ comes back from atan2 a turn lower.
        {90, 25e6, 10 + equator_degrees(25e6) - 360},
        {270, 25e6, 10 - equator_degrees(25e6) + 360},
        // Past a whole turn σ is not reduced, and only λ's turn is removed.
        {90, 45e6, 10 + equator_degrees(45e6) - 360},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.azimuth << " for " << c.metres << " m");
        const Point q = project(0, 10, c.azimuth, c.metres);
        EXPECT_NEAR(q.lat, 0.0, 1e-12);
        EXPECT_NEAR(q.lon, c.expected_lon, 1e-9);
    }
}

// From a pole every direction is south: the line follows the meridian
// lon1 + 180 − α1 from the north pole and lon1 + α1 from the south pole.
TEST(DirectGeodesic, FromAPole) {
    struct Case {
        double lat1, lon1, azimuth, expected_lon;
    };
    const Case cases[] = {
        {90, 10, 0, 190},   {90, 10, 90, 100},  {90, -30, 200, -50},
        {-90, 10, 0, 10},   {-90, 10, 30, 40},  {-90, 170, 20, 190},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat1 << ", " << c.lon1 << " heading " << c.azimuth);
        const Point q = project(c.lat1, c.lon1, c.azimuth, 1e6);
        EXPECT_NEAR(q.lon, c.expected_lon, 1e-9);
        EXPECT_NEAR(std::fabs(q.lat), 81.0, 0.1);  // 1000 km is about 9 degrees
    }
}

// Travelling backwards is travelling the other way round.
TEST(DirectGeodesic, NegativeDistanceGoesTheOppositeWay) {
    const double cases[][4] = {
        {30, 40, 60, 1e6}, {-50, 0, 300, 5e6}, {0, 0, 10, 123456.789}, {70, -100, 180, 1.5e7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[2]);
        const Point back = project(c[0], c[1], c[2], -c[3]);
        const Point turned = project(c[0], c[1], c[2] + 180, c[3]);
        EXPECT_NEAR(back.lat, turned.lat, 1e-9);
        EXPECT_NEAR(std::remainder(back.lon - turned.lon, 360.0), 0.0, 1e-9);
    }
}

// The latitude enters only through its tangent: 100° acts as −80°.
TEST(DirectGeodesic, LatitudeBeyondThePoleActsAsItsTangent) {
    const Point a = project(100, 10, 30, 5e5);
    const Point b = project(-80, 10, 30, 5e5);
    EXPECT_NEAR(a.lat, b.lat, 1e-9);
    EXPECT_NEAR(a.lon, b.lon, 1e-9);
}

// Far beyond a turn the threshold is below the spacing of doubles; the loop
// then ends on an exact repeat or at its pass limit, with a finite result.
TEST(DirectGeodesic, VeryLongDistancesStayFinite) {
    for (double metres : {4e7, 1e8, 1e9, 1e12}) {
        for (double azimuth : {0.0, 37.0, 90.0}) {
            SCOPED_TRACE(testing::Message() << metres << " m heading " << azimuth);
            const Point q = project(12, 34, azimuth, metres);
            EXPECT_TRUE(std::isfinite(q.lat));
            EXPECT_TRUE(std::isfinite(q.lon));
            EXPECT_LE(std::fabs(q.lat), 90.0);
        }
    }
}

// Long lines whose σ estimates alternate between two neighbouring doubles
// run to the pass limit: exactly 99 passes, not 100. (The bits of their
// results are checked against the transcription in tests/reference.)
TEST(DirectGeodesic, AlternatingEstimatesRunExactly99Passes) {
    const double cases[][4] = {
        {28.486641804719746, 99.900051127281188, 151.38707773837027, 34804095.058140546},
        {5.5500417337882331, -146.18038223149037, 138.20445528654494, 46161826.661291912},
        {-64.46486591900053, -19.476547181445255, 140.58074049117224, 26035103.810390376},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[3]);
        double lat2, lon2;
        int passes = 0;
        geodesy::detail::solve_direct(deg_to_rad(c[0]), deg_to_rad(c[1]), deg_to_rad(c[2]), c[3],
                                      &lat2, &lon2, &passes);
        EXPECT_EQ(passes, 99);
    }
}

TEST(DirectGeodesic, NonFiniteInput) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        double lat1, lon1, azimuth, metres;
        bool lat_is_nan;
    };
    const Case cases[] = {
        {"NaN latitude", nan, 0.1, 0.2, 1000, true},
        {"NaN azimuth", 0.1, 0.2, nan, 1000, true},
        {"NaN distance", 0.1, 0.2, 0.3, nan, true},
        {"infinite distance", 0.1, 0.2, 0.3, inf, true},
        {"minus infinite distance", 0.1, 0.2, 0.3, -inf, true},
        {"infinite latitude", inf, 0.2, 0.3, 1000, true},
        {"infinite azimuth", 0.1, 0.2, -inf, 1000, true},
        {"NaN longitude only spoils the longitude", 0.1, nan, 0.3, 1000, false},
        {"infinite longitude", 0.1, inf, 0.3, 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double lat2 = 0, lon2 = 0;
        geodesy::direct_geodesic(c.lat1, c.lon1, c.azimuth, c.metres, &lat2, &lon2);
        EXPECT_EQ(std::isnan(lat2), c.lat_is_nan);
        EXPECT_FALSE(std::isfinite(lon2));
    }
    double lat2, lon2, ref_lat2, ref_lon2;
    geodesy::direct_geodesic(0.1, nan, 0.3, 1000, &lat2, &lon2);
    geodesy::direct_geodesic(0.1, 0.2, 0.3, 1000, &ref_lat2, &ref_lon2);
    EXPECT_SAME_DOUBLE(lat2, ref_lat2);
}

}  // namespace
