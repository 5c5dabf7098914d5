// SPDX-License-Identifier: MIT
// Vincenty's direct formulae.
//
// T. Vincenty, "Direct and inverse solutions of geodesics on the ellipsoid
// with application of nested equations", Survey Review 23 (176), 88-93,
// 1975. Equation numbers below are his.
//
// Several expressions are regrouped from the paper (Horner order, factors
// turned round). The grouping fixes the rounding, so each expression is
// written exactly as it is evaluated, left to right, and where it differs
// from the paper the paper's form stands beside it in the comment.
//
// The body lives in this header, inline, so that a caller that keeps only
// one of the outputs gets its own copy and the compiler can drop the work
// whose result is unused. direct.cpp provides the out-of-line function.
#ifndef GEODESY_DIRECT_IMPL_H
#define GEODESY_DIRECT_IMPL_H

#include <cmath>

#include "geodesy/ellipsoid.h"

namespace geodesy {
namespace detail {

// The σ iteration runs while its pass counter, raised before every pass,
// stays below this bound: at most 99 passes. It converges in a few passes
// unless σ is so large that the spacing of doubles exceeds the threshold.
inline constexpr int direct_pass_bound = 100;

// direct_geodesic, and when passes is not null the number of passes the
// loop ran (0 to 99) is stored there too.
inline void solve_direct(double lat1, double lon1, double azimuth1, double distance,
                         double* lat2, double* lon2, int* passes) {
    const double sin_alpha1 = std::sin(azimuth1);
    const double cos_alpha1 = std::cos(azimuth1);

    // Reduced latitude of the start point, tan U1 = (1 − f) tan φ1, with
    // its cosine and sine taken from the tangent.
    const double one_minus_f = 1.0 - flattening;
    const double tan_U1 = std::tan(lat1) * one_minus_f;
    const double cos_U1 = 1.0 / std::sqrt(tan_U1 * tan_U1 + 1.0);
    const double sin_U1 = cos_U1 * tan_U1;

    // (1) angular distance on the auxiliary sphere from the equator to the
    // start point.
    const double sigma1 = std::atan2(tan_U1, cos_alpha1);

    // (2) azimuth of the geodesic at the equator.
    const double sin_alpha = cos_U1 * sin_alpha1;
    const double sin_sq_alpha = sin_alpha * sin_alpha;
    const double cos_sq_alpha = 1.0 - sin_sq_alpha;

    // (3), (4) series coefficients. Paper: A = 1 + u²/16384 (4096 + u² (−768
    // + u² (320 − 175 u²))), B = u²/1024 (256 + u² (−128 + u² (74 − 47 u²))).
    const double b = semi_minor_axis;
    const double u_sq = (cos_sq_alpha * (semi_major_axis_squared - b * b)) / (b * b);
    const double A =
        1.0 + ((((320.0 - u_sq * 175.0) * u_sq) - 768.0) * u_sq + 4096.0) * (u_sq / 16384.0);
    const double B =
        ((((74.0 - u_sq * 47.0) * u_sq) - 128.0) * u_sq + 256.0) * (u_sq / 1024.0);

    // First estimate of the angular distance σ, and the values at it.
    const double sigma0 = distance / (A * b);
    const double two_sigma1 = sigma1 + sigma1;
    double sigma = sigma0;
    double sin_sigma = std::sin(sigma);
    double cos_sigma = std::cos(sigma);
    double cos_2sigma_m = std::cos(two_sigma1 + sigma);

    // (5)-(7) iterate σ = Δσ + σ0. The first test sets σ0 against 2π in
    // place of a previous estimate, so a σ0 within the threshold of a full
    // turn (or a NaN σ0) runs no pass and keeps the values above.
    double sigma_prev = two_pi;
    int counter = 0;
    if (passes) *passes = 0;
    while (std::fabs(sigma - sigma_prev) > convergence_epsilon &&
           ++counter < direct_pass_bound) {
        if (passes) ++*passes;
        cos_2sigma_m = std::cos(sigma + two_sigma1);
        sin_sigma = std::sin(sigma);
        cos_sigma = std::cos(sigma);
        sigma_prev = sigma;

        // (6) Paper: Δσ = B sin σ (cos 2σm + B/4 (cos σ (2 cos² 2σm − 1)
        //                 − B/6 cos 2σm (4 sin² σ − 3)(4 cos² 2σm − 3))).
        const double k = cos_2sigma_m;
        const double delta_sigma =
            (B * sin_sigma) *
            (k + ((k * k + k * k - 1.0) * cos_sigma -
                  ((4.0 * sin_sigma * sin_sigma - 3.0) * ((B / 6.0) * k)) *
                      (k * k * 4.0 - 3.0)) *
                     (B / 4.0));
        sigma = delta_sigma + sigma0;
    }
    // From here on σ is the last update, while sin σ, cos σ and cos 2σm
    // are those the last pass began with.

    // (8) latitude of the point reached.
    const double t = sin_sigma * sin_U1 - (cos_sigma * cos_U1) * cos_alpha1;
    *lat2 = std::atan2(cos_alpha1 * (cos_U1 * sin_sigma) + sin_U1 * cos_sigma,
                       std::sqrt(t * t + sin_sq_alpha) * one_minus_f);

    // (9) longitude difference on the auxiliary sphere, in [−π, π] (atan2
    // takes out whole turns).
    const double lambda = std::atan2(sin_sigma * sin_alpha1,
                                     cos_sigma * cos_U1 - (sin_sigma * sin_U1) * cos_alpha1);

    // (10) Paper: C = f/16 cos²α (4 + f (4 − 3 cos²α)).
    const double C = (cos_sq_alpha * (flattening / 16.0)) * (4.0 + (4.0 - 3.0 * cos_sq_alpha) * flattening);

    // (11) longitude difference on the ellipsoid. Paper: L = λ − (1 − C) f
    // sin α (σ + C sin σ (cos 2σm + C cos σ (2 cos² 2σm − 1))).
    const double k = cos_2sigma_m;
    const double L =
        lambda - ((k + ((k + k) * k - 1.0) * (cos_sigma * C)) * (C * sin_sigma) + sigma) *
                     (((1.0 - C) * flattening) * sin_alpha);

    // Not wrapped: lon1 plus a difference within a little more than ±π.
    *lon2 = L + lon1;
}

}  // namespace detail
}  // namespace geodesy

#endif  // GEODESY_DIRECT_IMPL_H
