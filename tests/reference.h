// SPDX-License-Identifier: MIT
// GeographicLib on this project's ellipsoid: the independent reference of
// the comparison tests.
#ifndef GEODESY_TESTS_REFERENCE_H
#define GEODESY_TESTS_REFERENCE_H

#include <GeographicLib/Geodesic.hpp>

#include "geodesy/ellipsoid.h"

inline const GeographicLib::Geodesic& wgs84() {
    static const GeographicLib::Geodesic g(geodesy::semi_major_axis, geodesy::flattening);
    return g;
}

#endif  // GEODESY_TESTS_REFERENCE_H
