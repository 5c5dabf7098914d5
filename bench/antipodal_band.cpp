// SPDX-License-Identifier: MIT
// Where the inverse iteration goes wrong near the antipodes: the distance
// error against GeographicLib, by the first point's latitude and the
// longitude difference, on the exact antipodal parallel (lat2 = −lat1) and
// anywhere off it (lat2 within ±1.5° of −lat1, which holds every pair with
// an error over 1 mm).
//
//   antipodal_band OUTPUT_DIR
// writes OUTPUT_DIR/band-table.md (where errors first exceed 1 mm, 1 m and
// 1 km) and OUTPUT_DIR/antipodal-band.dat (the map, for gnuplot).
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/reference.h"

namespace {

// The grid: latitude of the first point 0° to 90° (the band is symmetric
// in the sign of both latitude and longitude difference), longitude
// difference 178.8° to 180°, and offsets of lat2 from −lat1.
constexpr double kLatStep = 1.0;
constexpr int kLats = 91;
constexpr double kDlonFrom = 178.8, kDlonStep = 0.005;
constexpr int kDlons = 241;
constexpr double kOffsetRange = 1.5, kOffsetStep = 0.01;
constexpr double kThresholds[] = {1e-3, 1.0, 1e3};  // 1 mm, 1 m, 1 km

double error_in_metres(double lat1, double lat2, double dlon) {
    return bench::distance_error(lat1, lat2, dlon);
}

struct Cell {
    double on_antipode = 0;   // error with lat2 = −lat1
    double anywhere = 0;      // worst error over the offsets
    double worst_offset = 0;  // largest |offset| with an error over 1 mm
};

// One row of the map: every longitude difference at one latitude.
std::vector<Cell> row(double lat1) {
    std::vector<Cell> cells(kDlons);
    const int offsets = static_cast<int>(std::lround(2 * kOffsetRange / kOffsetStep));
    for (int j = 0; j < kDlons; ++j) {
        const double dlon = kDlonFrom + j * kDlonStep;
        Cell& c = cells[j];
        c.on_antipode = error_in_metres(lat1, -lat1, dlon);
        c.anywhere = c.on_antipode;
        for (int k = 0; k <= offsets; ++k) {
            const double offset = -kOffsetRange + k * kOffsetStep;
            if (std::fabs(-lat1 + offset) > 90) continue;
            const double e = error_in_metres(lat1, -lat1 + offset, dlon);
            c.anywhere = std::max(c.anywhere, e);
            if (e > kThresholds[0]) c.worst_offset = std::max(c.worst_offset, std::fabs(offset));
        }
    }
    return cells;
}

// The smallest longitude difference whose error exceeds the threshold.
std::string first_above(const std::vector<Cell>& cells, double threshold, bool anywhere) {
    for (int j = 0; j < kDlons; ++j) {
        if ((anywhere ? cells[j].anywhere : cells[j].on_antipode) > threshold) {
            char text[16];
            std::snprintf(text, sizeof text, "%.3f°", kDlonFrom + j * kDlonStep);
            return text;
        }
    }
    return "never";
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

    std::string table =
        "| lat1 | on the antipode: > 1 mm | > 1 m | > 1 km | off it: > 1 mm | > 1 m | > 1 km "
        "| largest offset with > 1 mm |\n|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (int lat : {0, 10, 20, 30, 40, 50, 60, 70, 80, 85, 89}) {
        const std::vector<Cell>& cells = map[lat];
        double offset = 0;
        for (const Cell& c : cells) offset = std::max(offset, c.worst_offset);
        char line[256];
        std::snprintf(line, sizeof line, "| %d° | %s | %s | %s | %s | %s | %s | %.2f° |\n", lat,
                      first_above(cells, kThresholds[0], false).c_str(),
                      first_above(cells, kThresholds[1], false).c_str(),
                      first_above(cells, kThresholds[2], false).c_str(),
                      first_above(cells, kThresholds[0], true).c_str(),
                      first_above(cells, kThresholds[1], true).c_str(),
                      first_above(cells, kThresholds[2], true).c_str(), offset);
        table += line;
    }
    double worst = 0, worst_lat = 0, worst_dlon = 0;
    for (int i = 0; i < kLats; ++i) {
        for (int j = 0; j < kDlons; ++j) {
            if (map[i][j].anywhere > worst) {
                worst = map[i][j].anywhere, worst_lat = i * kLatStep;
                worst_dlon = kDlonFrom + j * kDlonStep;
            }
        }
    }
    char line[160];
    std::snprintf(line, sizeof line, "\nlargest error on the map: %.0f m, at lat1 %.0f°, Δlon %.3f°\n",
                  worst, worst_lat, worst_dlon);
    table += line;
    std::fputs(table.c_str(), stdout);
    if (FILE* f = std::fopen((dir + "/band-table.md").c_str(), "w")) {
        std::fputs(table.c_str(), f);
        std::fclose(f);
    }

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
