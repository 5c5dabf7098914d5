// SPDX-License-Identifier: MIT
// The out-of-line direct solver; its body is in direct_impl.h.
#include "geodesy/direct.h"

#include "geodesy/direct_impl.h"

namespace geodesy {

void direct_geodesic(double lat1, double lon1, double azimuth1, double distance,
                     double* lat2, double* lon2) {
    detail::solve_direct(lat1, lon1, azimuth1, distance, lat2, lon2, nullptr);
}

}  // namespace geodesy
