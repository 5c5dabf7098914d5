// SPDX-License-Identifier: MIT
// GeographicLib on this project's ellipsoid, the peer the benchmarks and
// the accuracy report compare with.
#ifndef GEODESY_ACCURACY_REFERENCE_H
#define GEODESY_ACCURACY_REFERENCE_H

#include <GeographicLib/Geodesic.hpp>

#include <cmath>

#include "geodesy/ellipsoid.h"
#include "geodesy/direct_impl.h"
#include "geodesy/inverse_impl.h"

namespace bench {

inline const GeographicLib::Geodesic& wgs84() {
    static const GeographicLib::Geodesic g(geodesy::semi_major_axis, geodesy::flattening);
    return g;
}

// |distance − GeographicLib's| in metres; a NaN distance counts as an
// infinite error.
inline double distance_error(double lat1, double lon1, double lat2, double lon2) {
    double s12;
    wgs84().Inverse(lat1, lon1, lat2, lon2, s12);
    double s, a1, a2;
    geodesy::detail::solve_inverse(geodesy::deg_to_rad(lat1), geodesy::deg_to_rad(lon1), geodesy::deg_to_rad(lat2),
                                   geodesy::deg_to_rad(lon2), &s, &a1, &a2, nullptr);
    const double e = std::fabs(s - s12);
    return std::isnan(e) ? INFINITY : e;
}

// The same with the first point at longitude 0 and the second at dlon.
inline double distance_error(double lat1, double lat2, double dlon) { return distance_error(lat1, 0, lat2, dlon); }

// The angle between two azimuths in degrees, in arcseconds.
inline double arcseconds_between(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::fmin(d, 360.0 - d) * 3600.0;
}

// Metres between the point the direct solver reaches and GeographicLib's;
// a NaN counts as infinite. passes, when not null, gets the solver's.
inline double point_error(double lat1, double lon1, double azimuth, double metres, int* passes = nullptr) {
    double ref_lat2, ref_lon2;
    wgs84().Direct(lat1, lon1, azimuth, metres, ref_lat2, ref_lon2);
    double lat2, lon2;
    geodesy::detail::solve_direct(geodesy::deg_to_rad(lat1), geodesy::deg_to_rad(lon1),
                                  geodesy::deg_to_rad(azimuth), metres, &lat2, &lon2, passes);
    double gap;
    wgs84().Inverse(geodesy::rad_to_deg(lat2), geodesy::rad_to_deg(lon2), ref_lat2, ref_lon2, gap);
    return std::isnan(gap) ? INFINITY : gap;
}

}  // namespace bench

#endif  // GEODESY_ACCURACY_REFERENCE_H
