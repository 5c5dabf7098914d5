// SPDX-License-Identifier: MIT
// Inverse geodesic problem on the reference ellipsoid: the distance between
// two points and the azimuths of the geodesic at both ends.
#ifndef GEODESY_INVERSE_H
#define GEODESY_INVERSE_H

namespace geodesy {

// Solves the inverse problem with Vincenty's iteration.
//
// Inputs are geodetic latitudes and longitudes in radians, used as given:
// no range checks, no reduction of the longitude difference. Writes, in this
// order, the geodesic length in metres, the azimuth at point 1 and the
// forward azimuth at point 2 (clockwise from north, radians in [0, 2π]).
// Coincident points give three zeros; a NaN input gives three NaNs. The
// iteration stops after 40 passes without convergence (nearly antipodal
// points) and the last pass's values are used, unsignalled.
void inverse_geodesic(double lat1, double lon1, double lat2, double lon2,
                      double* distance, double* azimuth1, double* azimuth2);

}  // namespace geodesy

#endif  // GEODESY_INVERSE_H
