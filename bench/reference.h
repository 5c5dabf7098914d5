// SPDX-License-Identifier: MIT
// GeographicLib on this project's ellipsoid, the peer the benchmarks and
// the accuracy report compare with.
#ifndef GEODESY_BENCH_REFERENCE_H
#define GEODESY_BENCH_REFERENCE_H

#include <GeographicLib/Geodesic.hpp>

#include <cmath>

#include "geodesy/ellipsoid.h"
#include "geodesy/inverse_impl.h"

namespace bench {

inline const GeographicLib::Geodesic& wgs84() {
    static const GeographicLib::Geodesic g(geodesy::semi_major_axis, geodesy::flattening);
    return g;
}

// |distance − GeographicLib's| in metres for the first point at longitude
// 0, the second at dlon; a NaN distance counts as an infinite error.
inline double distance_error(double lat1, double lat2, double dlon) {
    double s12;
    wgs84().Inverse(lat1, 0, lat2, dlon, s12);
    double s, a1, a2;
    geodesy::detail::solve_inverse(geodesy::deg_to_rad(lat1), 0, geodesy::deg_to_rad(lat2),
                                   geodesy::deg_to_rad(dlon), &s, &a1, &a2, nullptr);
    const double e = std::fabs(s - s12);
    return std::isnan(e) ? INFINITY : e;
}

}  // namespace bench

#endif  // GEODESY_BENCH_REFERENCE_H
