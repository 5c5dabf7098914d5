// SPDX-License-Identifier: MIT
// GeographicLib on this project's ellipsoid, the peer the benchmarks and
// the accuracy report compare with.
#ifndef GEODESY_BENCH_REFERENCE_H
#define GEODESY_BENCH_REFERENCE_H

#include <GeographicLib/Geodesic.hpp>

#include "geodesy/ellipsoid.h"

namespace bench {

inline const GeographicLib::Geodesic& wgs84() {
    static const GeographicLib::Geodesic g(geodesy::semi_major_axis, geodesy::flattening);
    return g;
}

}  // namespace bench

#endif  // GEODESY_BENCH_REFERENCE_H
