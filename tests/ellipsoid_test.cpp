// SPDX-License-Identifier: MIT
// The ellipsoid constants and the degree/radian conversions, bit for bit.
#include "geodesy/ellipsoid.h"

#include <cmath>
#include <limits>

#include "tests/bits.h"

namespace {

using geodesy::deg_to_rad;
using geodesy::pi;
using geodesy::rad_to_deg;
using geodesy::two_pi;

constexpr double inf = std::numeric_limits<double>::infinity();

TEST(Ellipsoid, ConstantsHaveTheirExactBits) {
    EXPECT_EQ(bits_of(geodesy::flattening), 0x3F6B775A84F39DC6u);
    // 1/298.257223563 is a nearby but different double.
    EXPECT_NE(bits_of(geodesy::flattening), bits_of(1.0 / 298.257223563));
    volatile double one = 1.0;  // evaluated at run time, not folded
    EXPECT_SAME_DOUBLE(geodesy::semi_minor_axis, (one - geodesy::flattening) * 6378137.0);
    EXPECT_SAME_DOUBLE(geodesy::semi_major_axis_squared,
                       geodesy::semi_major_axis * geodesy::semi_major_axis);
    EXPECT_SAME_DOUBLE(two_pi, 2.0 * pi);
    EXPECT_SAME_DOUBLE(pi, std::acos(-1.0));
}

struct Conversion {
    double degrees;
    double radians;
};

// Degrees and radians that convert into each other exactly, both ways.
TEST(Conversions, ExactRoundTrips) {
    const Conversion cases[] = {
        {0.0, 0.0},       {-0.0, -0.0},      {90.0, pi / 2},  {180.0, pi},
        {360.0, two_pi},  {-180.0, -pi},     {720.0, 2 * two_pi},
        {-90.0, -pi / 2}, {inf, inf},        {-inf, -inf},
    };
    for (const Conversion& c : cases) {
        SCOPED_TRACE(c.degrees);
        EXPECT_SAME_DOUBLE(deg_to_rad(c.degrees), c.radians);
        EXPECT_SAME_DOUBLE(rad_to_deg(c.radians), c.degrees);
    }
    EXPECT_SAME_DOUBLE(rad_to_deg(deg_to_rad(270.0)), 270.0);
}

TEST(Conversions, MultiplyByPiBeforeDividing) {
    volatile double three = 3.0;
    EXPECT_SAME_DOUBLE(deg_to_rad(3.0), three * pi / 180.0);
    // The other order rounds differently; the product comes first.
    EXPECT_NE(bits_of(deg_to_rad(3.0)), bits_of(three * (pi / 180.0)));
    EXPECT_SAME_DOUBLE(rad_to_deg(0.5), 0.5 * 180.0 / pi);
}

TEST(Conversions, NanPassesThrough) {
    EXPECT_TRUE(std::isnan(deg_to_rad(std::nan(""))));
    EXPECT_TRUE(std::isnan(rad_to_deg(std::nan(""))));
}

}  // namespace
