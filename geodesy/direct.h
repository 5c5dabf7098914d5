// SPDX-License-Identifier: MIT
// Direct geodesic problem on the reference ellipsoid: the point reached from
// a start point along a given azimuth after a given distance.
#ifndef GEODESY_DIRECT_H
#define GEODESY_DIRECT_H

namespace geodesy {

// Solves the direct problem with Vincenty's iteration.
//
// lat1, lon1 and the start azimuth (clockwise from north) are in radians,
// the distance in metres; none is checked or reduced, and a negative
// distance travels backwards. Writes the latitude of the point reached,
// then its longitude, in radians. The latitude lies in [−π/2, π/2]; the
// longitude is lon1 plus a difference within a little more than ±π (the
// longitude travelled less whole turns), not wrapped into any range. The iteration stops after 99 passes without convergence and the
// last pass's values are used, unsignalled.
void direct_geodesic(double lat1, double lon1, double azimuth1, double distance,
                     double* lat2, double* lon2);

}  // namespace geodesy

#endif  // GEODESY_DIRECT_H
