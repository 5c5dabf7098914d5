// SPDX-License-Identifier: MIT
// The reference ellipsoid (WGS 84's equatorial radius, and a flattening
// that differs from WGS 84's defining one in the 15th digit), the angle
// conversions between the SQL boundary (degrees) and the solvers (radians),
// and the constants that both solvers share.
//
// Every value here is an exact double fixed at compile time, so it is set
// before the library can be loaded and never changes afterwards. Nothing in
// the project selects or configures the ellipsoid.
#ifndef GEODESY_ELLIPSOID_H
#define GEODESY_ELLIPSOID_H

// Every result is defined to the last bit by the order and rounding of each
// operation, and the solvers test for NaN. Fast-math lets the compiler
// reorder, fuse and drop exactly those, so such a build is refused here.
#if defined(__FAST_MATH__) || (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "sqlite-geodesy must not be built with -ffast-math, -Ofast or -ffinite-math-only: they change the last bits of its results and drop the NaN tests of its solvers"
#endif

namespace geodesy {

// Equatorial radius a, in metres. Only the polar radius below is derived
// from it; the solvers read a² as its own literal.
inline constexpr double semi_major_axis = 6378137.0;

// Flattening f = 1 / 298.2572235636655 rounded once to double, bit pattern
// 0x3F6B775A84F39DC6. Not WGS 84's defining 1/298.257223563, which is a
// different double (geodesic lengths differ by at most 1.5e-7 m), and
// not the 14-digit decimal, which lies one unit in the last place higher.
inline constexpr double flattening = 1.0 / 298.2572235636655;

// Polar radius b = (1 − f)·a: the difference rounded to double, then the
// product rounded to double. The only computation that reads a.
inline constexpr double semi_minor_axis = (1.0 - flattening) * semi_major_axis;

// a², the exact square of 6378137 written as a literal so that no solver
// multiplies a by itself.
inline constexpr double semi_major_axis_squared = 40680631590769.0;

// The double nearest π, and exactly twice it as a literal of its own.
inline constexpr double pi = 3.141592653589793;
inline constexpr double two_pi = 6.283185307179586;

// Absolute stopping threshold of both iterations, in radians: about two
// units in the last place of an angle near 1, i.e. below a micrometre on
// the ground.
inline constexpr double convergence_epsilon = 5e-16;

// Degrees to radians as (x·π)/180: the product rounded first, then the
// quotient. Not x·(π/180), which differs in the last bit for some whole
// degrees (3° among them). No reduction: 720° is 4π.
constexpr double deg_to_rad(double degrees) { return degrees * pi / 180.0; }

// Radians to degrees as (x·180)/π, in that order; π comes back as exactly
// 180 and 2π as exactly 360.
constexpr double rad_to_deg(double radians) { return radians * 180.0 / pi; }

}  // namespace geodesy

#endif  // GEODESY_ELLIPSOID_H
