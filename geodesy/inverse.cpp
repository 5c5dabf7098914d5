// SPDX-License-Identifier: MIT
// The out-of-line inverse solver; its body is in inverse_impl.h.
#include "geodesy/inverse.h"

#include "geodesy/inverse_impl.h"

namespace geodesy {

void inverse_geodesic(double lat1, double lon1, double lat2, double lon2,
                      double* distance, double* azimuth1, double* azimuth2) {
    detail::solve_inverse(lat1, lon1, lat2, lon2, distance, azimuth1, azimuth2, nullptr);
}

}  // namespace geodesy
