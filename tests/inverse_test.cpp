// SPDX-License-Identifier: MIT
// inverse_geodesic in radians: the cases whose results are exact, the
// passes-exhausted and non-finite cases, and the mended near-equator case.
#include "geodesy/inverse.h"
#include "geodesy/inverse_impl.h"

#include <cmath>
#include <limits>

#include "geodesy/ellipsoid.h"
#include "tests/bits.h"

namespace {

using geodesy::deg_to_rad;
using geodesy::pi;
using geodesy::rad_to_deg;
using geodesy::two_pi;

struct Inverse {
    double distance, azimuth1, azimuth2;
};

// Calls the solver with degrees, as the SQL functions do.
Inverse solve(double lat1, double lon1, double lat2, double lon2) {
    Inverse r{};
    geodesy::inverse_geodesic(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(lat2),
                              deg_to_rad(lon2), &r.distance, &r.azimuth1, &r.azimuth2);
    return r;
}

struct ExactAzimuths {
    const char* what;
    double lat1, lon1, lat2, lon2;
    double azimuth1, azimuth2;
};

// Lines along a meridian or the equator, where the azimuths are exact.
TEST(InverseGeodesic, ExactAzimuthsOnMeridiansAndEquator) {
    const ExactAzimuths cases[] = {
        {"meridian, northwards", 0, 0, 1, 0, 0.0, 0.0},
        {"meridian, southwards", 0, 0, -1, 0, pi, pi},
        {"meridian, pole to pole", -90, 30, 90, 30, 0.0, 0.0},
        {"meridian from +0 to -0 keeps -0", 10, 0.0, 20, -0.0, -0.0, -0.0},
        {"equator, eastwards", 0, 0, 0, 1, pi / 2, pi / 2},
        {"equator, westwards", 0, 0, 0, -1, -pi / 2 + two_pi, -pi / 2 + two_pi},
        {"equator, eastwards far", 0, -100, 0, 70, pi / 2, pi / 2},
        {"tiny westward step wraps to a full turn", 0, 0, 1, -1e-300, two_pi, two_pi},
    };
    for (const ExactAzimuths& c : cases) {
        SCOPED_TRACE(c.what);
        const Inverse r = solve(c.lat1, c.lon1, c.lat2, c.lon2);
        EXPECT_SAME_DOUBLE(r.azimuth1, c.azimuth1);
        EXPECT_SAME_DOUBLE(r.azimuth2, c.azimuth2);
        EXPECT_GT(r.distance, 0.0);
    }
    EXPECT_SAME_DOUBLE(rad_to_deg(solve(0, 0, 0, -1).azimuth1), 270.0);
    EXPECT_SAME_DOUBLE(rad_to_deg(solve(0, 0, 1, -1e-300).azimuth1), 360.0);
}

TEST(InverseGeodesic, CoincidentPointsGiveZeros) {
    const double points[][2] = {{0, 0}, {45, 45}, {-89.5, 179}, {90, 0}, {12.5, -720}};
    for (const auto& p : points) {
        SCOPED_TRACE(p[0]);
        const Inverse r = solve(p[0], p[1], p[0], p[1]);
        EXPECT_SAME_DOUBLE(r.distance, 0.0);
        EXPECT_SAME_DOUBLE(r.azimuth1, 0.0);
        EXPECT_SAME_DOUBLE(r.azimuth2, 0.0);
    }
}

// Along the equator the line stays on it: b·σ with σ = L/(1 − f), which is
// a·|L| to rounding, the same either way.
TEST(InverseGeodesic, EquatorialDistanceIsTheArcOfTheEquator) {
    for (double dlon : {0.001, 1.0, 90.0, 179.0}) {
        SCOPED_TRACE(dlon);
        const double east = solve(0, 0, 0, dlon).distance;
        EXPECT_SAME_DOUBLE(solve(0, 0, 0, -dlon).distance, east);
        const double arc = geodesy::semi_major_axis * deg_to_rad(dlon);
        EXPECT_NEAR(east, arc, 1e-14 * arc + 1e-9);
    }
}

// Vincenty (1975), line (1): Flinders Peak to Buninyong.
TEST(InverseGeodesic, FlindersPeakToBuninyong) {
    const double lat1 = -(37 + 57 / 60.0 + 3.72030 / 3600);
    const double lon1 = 144 + 25 / 60.0 + 29.52440 / 3600;
    const double lat2 = -(37 + 39 / 60.0 + 10.15610 / 3600);
    const double lon2 = 143 + 55 / 60.0 + 35.38390 / 3600;
    const Inverse r = solve(lat1, lon1, lat2, lon2);
    EXPECT_NEAR(r.distance, 54972.271, 0.0005);
    EXPECT_NEAR(rad_to_deg(r.azimuth1), 306 + 52 / 60.0 + 5.37 / 3600, 0.005 / 3600);
    // Forward azimuth at Buninyong: the back azimuth 127°10'25.07" plus 180°.
    EXPECT_NEAR(rad_to_deg(r.azimuth2), 307 + 10 / 60.0 + 25.07 / 3600, 0.005 / 3600);
}

// Just off the equator cos²α rounds to 0 while sin U1 sin U2 does not: the
// cos 2σm quotient is infinite and used to turn everything into NaN.
TEST(InverseGeodesic, LineJustOffTheEquatorIsNotNan) {
    const Inverse r = solve(1e-6, 0, 1e-6, 1);
    EXPECT_SAME_DOUBLE(r.distance, 111319.49079327339);  // exact: ...736
    EXPECT_NEAR(rad_to_deg(r.azimuth1), 90.0, 1e-7);
    EXPECT_NEAR(rad_to_deg(r.azimuth2), 90.0, 1e-7);
    const Inverse south = solve(-1e-6, 5, -1e-6, 4);
    EXPECT_NEAR(south.distance, 111319.4907932736, 1e-6);
    EXPECT_NEAR(rad_to_deg(south.azimuth1), 270.0, 1e-7);
}

// Equatorial pairs beyond π(1 − f) apart never meet the threshold: the loop
// runs exactly 40 passes and the results are those of the 40th, azimuths
// included, taken from the λ that pass began with. That λ has the other
// sign, so the azimuths point the other way round: the expected values are
// the independent transcription's (tests/reference/vincenty.py). Exact on
// any maths library: on the equator they depend on the sign of sin λ only.
TEST(InverseGeodesic, NearlyAntipodalEquatorialPairsRunExactlyFortyPasses) {
    struct Case {
        double lon1, lon2, azimuth_degrees;
    };
    const Case cases[] = {
        {0, 179.7, 270}, {0, 179.5, 270}, {0, 179.99, 270},
        {0, -179.9, 90}, {10, -169.6, 90}, {-20, 159.8, 270},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lon1 << " to " << c.lon2);
        Inverse r{};
        int passes = 0;
        geodesy::detail::solve_inverse(0.0, deg_to_rad(c.lon1), 0.0, deg_to_rad(c.lon2),
                                       &r.distance, &r.azimuth1, &r.azimuth2, &passes);
        EXPECT_EQ(passes, 40);
        EXPECT_SAME_DOUBLE(rad_to_deg(r.azimuth1), c.azimuth_degrees);
        EXPECT_SAME_DOUBLE(rad_to_deg(r.azimuth2), c.azimuth_degrees);
        EXPECT_GT(r.distance, 19.9e6);
        EXPECT_LT(r.distance, 20.0e6);
    }
}

// Inputs are not normalised, but only tan φ and sin/cos of λ enter: a
// latitude φ acts as φ − 180°, a longitude difference as itself ± 360°.
TEST(InverseGeodesic, UnreducedInputsActAsTheirReducedForms) {
    struct Pair {
        double raw[4], reduced[4];
    };
    const Pair cases[] = {
        {{100, 10, 30, 40}, {-80, 10, 30, 40}},
        {{20, 10, -110, 40}, {20, 10, 70, 40}},
        {{20, 170, 25, 550}, {20, 170, 25, 190}},
        {{-35, 0, 40, -300}, {-35, 0, 40, 60}},
    };
    for (const Pair& c : cases) {
        const Inverse a = solve(c.raw[0], c.raw[1], c.raw[2], c.raw[3]);
        const Inverse b = solve(c.reduced[0], c.reduced[1], c.reduced[2], c.reduced[3]);
        EXPECT_NEAR(a.distance, b.distance, 1e-6);
        EXPECT_NEAR(a.azimuth1, b.azimuth1, 1e-12);
        EXPECT_NEAR(a.azimuth2, b.azimuth2, 1e-12);
    }
}

TEST(InverseGeodesic, NonFiniteInputGivesNanEverywhere) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf}) {
        for (int slot = 0; slot < 4; ++slot) {
            SCOPED_TRACE(testing::Message() << "value " << bad << " in argument " << slot);
            double in[4] = {0.1, 0.2, 0.3, 0.4};
            in[slot] = bad;
            Inverse r{1, 1, 1};
            geodesy::inverse_geodesic(in[0], in[1], in[2], in[3], &r.distance, &r.azimuth1,
                                      &r.azimuth2);
            EXPECT_TRUE(std::isnan(r.distance));
            EXPECT_TRUE(std::isnan(r.azimuth1));
            EXPECT_TRUE(std::isnan(r.azimuth2));
        }
    }
}

}  // namespace
