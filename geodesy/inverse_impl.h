// SPDX-License-Identifier: MIT
// Vincenty's inverse formulae.
//
// T. Vincenty, "Direct and inverse solutions of geodesics on the ellipsoid
// with application of nested equations", Survey Review 23 (176), 88-93,
// 1975. Equation numbers below are his.
//
// Every expression is written in the exact grouping that fixes its rounding:
// products and sums are evaluated left to right as written, x² is x·x, and
// the four products of the reduced latitudes are formed once and then used
// as stored values everywhere they appear. The build disables contraction
// into fused multiply-adds so that the last bits do not depend on the CPU.
//
// The body lives in this header, inline, so that a caller that keeps only
// one of the outputs (each SQL adapter does) gets its own copy and the
// compiler can drop the work whose result is unused; that changes no bit
// of what is returned. inverse.cpp provides the out-of-line function.
#ifndef GEODESY_INVERSE_IMPL_H
#define GEODESY_INVERSE_IMPL_H

#include <cmath>

#include "geodesy/ellipsoid.h"

namespace geodesy {
namespace detail {

// Pass limit of the λ iteration. Away from the antipodes it converges in a
// handful of passes; 40 bounds the cost for pairs where it does not.
inline constexpr int max_inverse_passes = 40;

// Azimuths from atan2 lie in [−π, π]; move the negative ones up by a turn.
// −0 and NaN are not below 0 and stay as they are.
inline double wrap_azimuth(double azimuth) {
    return azimuth < 0.0 ? azimuth + two_pi : azimuth;
}

// inverse_geodesic, and when passes is not null the number of passes the
// loop ran (40 when it stopped at its limit) is stored there too.
inline void solve_inverse(double lat1, double lon1, double lat2, double lon2,
                          double* distance, double* azimuth1, double* azimuth2,
                          int* passes) {
    // Longitude difference on the ellipsoid, deliberately not reduced.
    const double L = lon2 - lon1;

    // Reduced latitudes on the auxiliary sphere: tan U = (1 − f) tan φ.
    const double one_minus_f = 1.0 - flattening;
    const double U1 = std::atan(one_minus_f * std::tan(lat1));
    const double U2 = std::atan(one_minus_f * std::tan(lat2));
    const double sin_U1 = std::sin(U1);
    const double cos_U1 = std::cos(U1);
    const double sin_U2 = std::sin(U2);
    const double cos_U2 = std::cos(U2);
    const double cos_U1_cos_U2 = cos_U1 * cos_U2;
    const double cos_U1_sin_U2 = cos_U1 * sin_U2;
    const double sin_U1_sin_U2 = sin_U1 * sin_U2;
    const double sin_U1_cos_U2 = sin_U1 * cos_U2;

    // Values of the last pass, which the series after the loop reads.
    double lambda = L;  // longitude difference on the auxiliary sphere
    double sin_lambda = 0.0;
    double cos_lambda = 0.0;
    double sin_sigma = 0.0;
    double cos_sigma = 0.0;
    double sigma = 0.0;
    double cos_sq_alpha = 0.0;
    double cos_2sigma_m = 0.0;

    for (int n = 0;;) {
        if (passes) *passes = n + 1;
        sin_lambda = std::sin(lambda);
        cos_lambda = std::cos(lambda);

        // (14) sin σ.
        const double t1 = cos_U2 * sin_lambda;
        const double t2 = cos_U1_sin_U2 - sin_U1_cos_U2 * cos_lambda;
        sin_sigma = std::sqrt(t1 * t1 + t2 * t2);

        // The points coincide on the auxiliary sphere: nothing to measure.
        if (sin_sigma == 0.0) {
            *distance = 0.0;
            *azimuth1 = 0.0;
            *azimuth2 = 0.0;
            return;
        }

        // (15), (16) cos σ and σ.
        cos_sigma = sin_U1_sin_U2 + cos_U1_cos_U2 * cos_lambda;
        sigma = std::atan2(sin_sigma, cos_sigma);

        // (17) azimuth of the geodesic at the equator.
        const double sin_alpha = cos_U1_cos_U2 * sin_lambda / sin_sigma;
        cos_sq_alpha = 1.0 - sin_alpha * sin_alpha;

        // (18) cos 2σm. On the equator cos²α and sin U1 sin U2 are both 0
        // and the quotient is NaN. Just off it, cos²α can round to exactly 0
        // while sin U1 sin U2 is tiny but not 0, and the quotient is ±∞,
        // which would turn λ into NaN. The line is equatorial to working
        // precision in both cases, where cos 2σm's term vanishes: use 0.
        cos_2sigma_m = cos_sigma - 2.0 * sin_U1_sin_U2 / cos_sq_alpha;
        if (!std::isfinite(cos_2sigma_m)) cos_2sigma_m = 0.0;

        // (10) correction coefficient.
        const double C = flattening / 16.0 * cos_sq_alpha *
                         (4.0 + flattening * (4.0 - 3.0 * cos_sq_alpha));

        // (11) next λ.
        const double lambda_prev = lambda;
        lambda = L + (1.0 - C) * flattening * sin_alpha *
                         (sigma + C * sin_sigma *
                                      (cos_2sigma_m +
                                       C * cos_sigma *
                                           (2.0 * (cos_2sigma_m * cos_2sigma_m) - 1.0)));

        // Stop once λ has settled; a NaN difference stops the loop as well.
        if (!(std::fabs(lambda - lambda_prev) > convergence_epsilon)) break;
        if (++n == max_inverse_passes) break;
    }

    // (3), (4) series coefficients, with u² = cos²α (a² − b²) / b².
    const double b = semi_minor_axis;
    const double u_sq = cos_sq_alpha * (semi_major_axis_squared - b * b) / (b * b);
    const double A =
        1.0 + u_sq / 16384.0 *
                  (4096.0 + u_sq * (-768.0 + u_sq * (320.0 - 175.0 * u_sq)));
    const double B =
        u_sq / 1024.0 * (256.0 + u_sq * (-128.0 + u_sq * (74.0 - 47.0 * u_sq)));

    // (6) Δσ.
    const double c2sm_sq = cos_2sigma_m * cos_2sigma_m;
    const double delta_sigma =
        B * sin_sigma *
        (cos_2sigma_m +
         B / 4.0 *
             (cos_sigma * (2.0 * c2sm_sq - 1.0) -
              B / 6.0 * cos_2sigma_m * (4.0 * (sin_sigma * sin_sigma) - 3.0) *
                  (4.0 * c2sm_sq - 3.0)));

    // (19) distance, then (20) azimuths from the λ with which the last pass
    // began; the λ computed at its end is discarded.
    *distance = b * A * (sigma - delta_sigma);
    const double alpha1 = std::atan2(cos_U2 * sin_lambda,
                                     cos_U1_sin_U2 - sin_U1_cos_U2 * cos_lambda);
    const double alpha2 = std::atan2(cos_U1 * sin_lambda,
                                     cos_U1_sin_U2 * cos_lambda - sin_U1_cos_U2);
    *azimuth1 = wrap_azimuth(alpha1);
    *azimuth2 = wrap_azimuth(alpha2);
}

}  // namespace detail
}  // namespace geodesy

#endif  // GEODESY_INVERSE_IMPL_H
