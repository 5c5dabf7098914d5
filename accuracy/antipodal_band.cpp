// SPDX-License-Identifier: MIT
// Where the inverse iteration goes wrong near the antipodes: the distance
// error against GeographicLib, by the first point's latitude and the
// longitude difference, on the exact antipodal parallel (lat2 = −lat1) and
// anywhere off it (lat2 within ±1.5° of −lat1, which holds every pair with
// an error over 1 mm).
//
//   antipodal_band OUTPUT_DIR
// writes OUTPUT_DIR/antipodal-band.dat (the map, for gnuplot). The band's
// edges are not read off this grid: band_edges searches for them.
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "accuracy/reference.h"

namespace {

// The grid: latitude of the first point 0° to 90° (the band is symmetric
// in the sign of both latitude and longitude difference), longitude
// difference 178.8° to 180°, and offsets of lat2 from −lat1.
constexpr double kLatStep = 1.0;
constexpr int kLats = 91;
constexpr double kDlonFrom = 178.8, kDlonStep = 0.005;
constexpr int kDlons = 241;
constexpr double kOffsetRange = 1.5, kOffsetStep = 0.01;

struct Cell {
    double on_antipode = 0;  // error with lat2 = −lat1
    double anywhere = 0;     // worst error over the offsets
};

// One row of the map: every longitude difference at one latitude.
std::vector<Cell> row(double lat1) {
    std::vector<Cell> cells(kDlons);
    const int offsets = static_cast<int>(std::lround(2 * kOffsetRange / kOffsetStep));
    for (int j = 0; j < kDlons; ++j) {
        const double dlon = kDlonFrom + j * kDlonStep;
        Cell& c = cells[j];
        c.on_antipode = bench::distance_error(lat1, -lat1, dlon);
        c.anywhere = c.on_antipode;
        for (int k = 0; k <= offsets; ++k) {
            const double offset = -kOffsetRange + k * kOffsetStep;
            if (std::fabs(-lat1 + offset) > 90) continue;
            c.anywhere = std::max(c.anywhere, bench::distance_error(lat1, -lat1 + offset, dlon));
        }
    }
    return cells;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    std::vector<std::vector<Cell>> map(kLats);
    std::vector<std::thread> workers;
    const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < n; ++t) {
        workers.emplace_back([&, t] {
            for (int i = t; i < kLats; i += n) map[i] = row(i * kLatStep);
        });
    }
    for (std::thread& w : workers) w.join();

    // "dlon lat1 log10(error on the antipode) log10(worst error off it)".
    FILE* data = std::fopen((dir + "/antipodal-band.dat").c_str(), "w");
    if (!data) return 1;
    for (int i = 0; i < kLats; ++i) {
        for (int j = 0; j < kDlons; ++j) {
            const Cell& c = map[i][j];
            std::fprintf(data, "%.3f %.1f %.3f %.3f\n", kDlonFrom + j * kDlonStep, i * kLatStep,
                         std::log10(std::clamp(c.on_antipode, 1e-9, 1e9)),
                         std::log10(std::clamp(c.anywhere, 1e-9, 1e9)));
        }
        std::fputc('\n', data);
    }
    std::fclose(data);
    return 0;
}
