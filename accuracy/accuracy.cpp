// SPDX-License-Identifier: MIT
// Accuracy report on random samples: all five functions' solvers against
// GeographicLib on the same ellipsoid, by kind of line; the azimuth error
// by longitude difference; and the range of project_lon.
//
//   accuracy OUTPUT_DIR
// writes OUTPUT_DIR/accuracy-table.md (also printed). The searches for the
// worst cases are band_edges' and worst_cases'.
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "accuracy/reference.h"
#include "bench/workloads.h"
#include "geodesy/direct_impl.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse_impl.h"

namespace {

using geodesy::deg_to_rad;
using geodesy::rad_to_deg;

using bench::arcseconds_between;
using bench::wgs84;

struct Errors {
    std::vector<double> values;
    void add(double e) { values.push_back(std::isnan(e) ? INFINITY : e); }
    // Largest and 99.9th percentile.
    std::pair<double, double> summary() {
        if (values.empty()) return {0, 0};
        std::sort(values.begin(), values.end());
        const size_t k = static_cast<size_t>(std::ceil(0.999 * values.size())) - 1;
        return {values.back(), values[k]};
    }
};

std::string format(double metres_or_arcsec) {
    char text[32];
    if (metres_or_arcsec == 0) return "0";
    std::snprintf(text, sizeof text, "%.2g", metres_or_arcsec);
    return text;
}

// One group of inverse problems, in degrees.
struct InverseGroup {
    const char* name;
    std::function<bench::Call(bench::Random&)> make;
    int count;
};

std::string inverse_row(const InverseGroup& group, std::uint64_t seed) {
    bench::Random random(seed);
    Errors distance, azimuth1, azimuth2;
    int limit_hits = 0;
    for (int i = 0; i < group.count; ++i) {
        const bench::Call c = group.make(random);
        double s12, azi1, azi2;
        wgs84().Inverse(c.a, c.b, c.c, c.d, s12, azi1, azi2);
        double s, a1, a2;
        int passes = 0;
        geodesy::detail::solve_inverse(deg_to_rad(c.a), deg_to_rad(c.b), deg_to_rad(c.c),
                                       deg_to_rad(c.d), &s, &a1, &a2, &passes);
        limit_hits += passes == geodesy::detail::max_inverse_passes;
        distance.add(std::fabs(s - s12));
        azimuth1.add(arcseconds_between(rad_to_deg(a1), azi1));
        azimuth2.add(arcseconds_between(rad_to_deg(a2), azi2));
    }
    const auto d = distance.summary(), z1 = azimuth1.summary(), z2 = azimuth2.summary();
    char row[512];
    std::snprintf(row, sizeof row, "| %s | %d | %s | %s | %s | %s | %s | %s | %d |\n", group.name,
                  group.count, format(d.first).c_str(), format(d.second).c_str(),
                  format(z1.first).c_str(), format(z1.second).c_str(), format(z2.first).c_str(),
                  format(z2.second).c_str(), limit_hits);
    return row;
}

struct DirectGroup {
    const char* name;
    double min_metres, max_metres;
    int count;
};

std::string direct_row(const DirectGroup& group, std::uint64_t seed) {
    bench::Random random(seed);
    Errors position;
    int limit_hits = 0;
    for (int i = 0; i < group.count; ++i) {
        const double lat1 = random.latitude(), lon1 = random.uniform(-180, 180);
        const double azimuth = random.uniform(0, 360);
        const double metres = random.uniform(group.min_metres, group.max_metres);
        int passes = 0;
        position.add(bench::point_error(lat1, lon1, azimuth, metres, &passes));
        limit_hits += passes == geodesy::detail::direct_pass_bound - 1;
    }
    const auto p = position.summary();
    char row[256];
    std::snprintf(row, sizeof row, "| %s | %d | %s | %s | %d |\n", group.name, group.count,
                  format(p.first).c_str(), format(p.second).c_str(), limit_hits);
    return row;
}

bench::Call random_pair(bench::Random& r) {
    return {r.latitude(), r.uniform(-180, 180), r.latitude(), r.uniform(-180, 180)};
}

// A pair whose spherical arc lies within [lo, hi] degrees.
bench::Call pair_with_arc(bench::Random& r, double lo, double hi) {
    for (;;) {
        const bench::Call c = random_pair(r);
        double s12;
        const double arc = wgs84().Inverse(c.a, c.b, c.c, c.d, s12);
        if (arc >= lo && arc <= hi) return c;
    }
}


// The azimuth error over a million random pairs, by how far the longitude
// difference is from 180°: it grows towards the antipodes before the
// distance does.
std::string azimuth_by_longitude_difference(std::uint64_t seed) {
    struct Bin {
        const char* name;
        double below;  // |Δlon| below this, in degrees
        long pairs = 0, over = 0;
        double worst = 0, worst_dlon = 0, worst_distance = 0;
    };
    Bin bins[] = {{"under 170°", 170}, {"170° to 178°", 178}, {"178° to 179°", 179},
                  {"179° to 179.2°", 179.2}, {"179.2° to 180°", 180.0001}};
    constexpr double kBound = 0.00002;  // arcseconds
    bench::Random random(seed);
    constexpr long kPairs = 1000000;
    long distance_over[3] = {0, 0, 0};  // 1 mm, 1 m, 1 km
    for (long i = 0; i < kPairs; ++i) {
        const bench::Call c = random_pair(random);
        double s12, azi1, azi2;
        wgs84().Inverse(c.a, c.b, c.c, c.d, s12, azi1, azi2);
        double s, a1, a2;
        geodesy::detail::solve_inverse(deg_to_rad(c.a), deg_to_rad(c.b), deg_to_rad(c.c),
                                       deg_to_rad(c.d), &s, &a1, &a2, nullptr);
        double error = std::fmax(arcseconds_between(rad_to_deg(a1), azi1),
                                 arcseconds_between(rad_to_deg(a2), azi2));
        if (std::isnan(error)) error = INFINITY;
        const double gap = std::isnan(s) ? INFINITY : std::fabs(s - s12);
        for (int k = 0; k < 3; ++k) distance_over[k] += gap > std::pow(1e3, k - 1);
        const double dlon = std::fabs(std::remainder(c.d - c.b, 360.0));
        for (Bin& bin : bins) {
            if (dlon < bin.below) {
                ++bin.pairs;
                bin.over += error > kBound;
                bin.worst_distance = std::fmax(bin.worst_distance, gap);
                if (error > bin.worst) bin.worst = error, bin.worst_dlon = dlon;
                break;
            }
        }
    }
    std::string out =
        "\n| random pairs: longitude difference | pairs | distance error max (m) "
        "| azimuth error max (\") | at Δlon | pairs over 0.00002\" |\n|---|---:|---:|---:|---:|---:|\n";
    for (const Bin& bin : bins) {
        char row[200];
        std::snprintf(row, sizeof row, "| %s | %ld | %s | %s | %.3f° | %ld |\n", bin.name,
                      bin.pairs, format(bin.worst_distance).c_str(), format(bin.worst).c_str(),
                      bin.worst_dlon, bin.over);
        out += row;
    }
    char row[200];
    std::snprintf(row, sizeof row,
                  "\nOf these %ld random pairs, %ld have a distance error over 1 mm, %ld over 1 m "
                  "and %ld over 1 km.\n",
                  kPairs, distance_over[0], distance_over[1], distance_over[2]);
    return out + row;
}

// project_lon − lon1 over random lines: how far from lon1 the unwrapped
// result can be, and whether a distance of 0 gives lon1 back exactly.
std::string project_lon_range(std::uint64_t seed) {
    bench::Random random(seed);
    std::string out =
        "\n| random starts | lines | project_lon − lon1 min (°) | max (°) |\n|---|---:|---:|---:|\n";
    for (double max_metres : {2e7, 4e7, 1e8}) {
        double lo = INFINITY, hi = -INFINITY;
        constexpr long kLines = 1000000;
        for (long i = 0; i < kLines; ++i) {
            const double lat1 = random.latitude(), lon1 = random.uniform(-180, 180);
            const double azimuth = random.uniform(0, 360), metres = random.uniform(0, max_metres);
            double lat2, lon2;
            geodesy::detail::solve_direct(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(azimuth),
                                          metres, &lat2, &lon2, nullptr);
            const double d = rad_to_deg(lon2) - lon1;
            lo = std::fmin(lo, d), hi = std::fmax(hi, d);
        }
        char row[160];
        std::snprintf(row, sizeof row, "| up to %.0f km | %ld | %.4f | %.4f |\n", max_metres / 1000,
                      kLines, lo, hi);
        out += row;
    }
    long moved = 0;
    constexpr long kStarts = 1000000;
    for (long i = 0; i < kStarts; ++i) {
        const double lat1 = random.latitude(), lon1 = random.uniform(-180, 180);
        double lat2, lon2;
        geodesy::detail::solve_direct(deg_to_rad(lat1), deg_to_rad(lon1),
                                      deg_to_rad(random.uniform(0, 360)), 0.0, &lat2, &lon2,
                                      nullptr);
        moved += rad_to_deg(lon2) != lon1;
    }
    char row[200];
    std::snprintf(row, sizeof row,
                  "\nproject_lon with a distance of 0: %ld of %ld random lon1 do not come back "
                  "exactly (%.1f %%)\n",
                  moved, kStarts, 100.0 * moved / kStarts);
    return out + row;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";

    const InverseGroup inverse_groups[] = {
        {"random pairs", random_pair, 50000},
        {"short, 1 m to 10 km",
         [](bench::Random& r) {
             // Lengths spread evenly over the decades.
             const double lat = r.latitude(), lon = r.uniform(-180, 180);
             const double azimuth = r.uniform(0, 360), metres = std::pow(10.0, r.uniform(0, 4));
             double lat2, lon2;
             wgs84().Direct(lat, lon, azimuth, metres, lat2, lon2);
             return bench::Call{lat, lon, lat2, lon2};
         },
         20000},
        {"long, arc 90° to 170°", [](bench::Random& r) { return pair_with_arc(r, 90, 170); }, 10000},
        {"nearly antipodal: lat2 within 1° of −lat1, Δlon 179° to 180°",
         [](bench::Random& r) {
             const double lat = r.latitude();
             return bench::Call{lat, 0, -lat + r.uniform(-1, 1), r.uniform(179, 180)};
         },
         10000},
        {"equatorial", [](bench::Random& r) { return bench::Call{0, 0, 0, r.uniform(-180, 180)}; },
         5000},
        {"meridional",
         [](bench::Random& r) {
             const double lon = r.uniform(-180, 180);
             return bench::Call{r.latitude(), lon, r.latitude(), lon};
         },
         5000},
        {"near a pole, both within 1° of it",
         [](bench::Random& r) {
             const double sign = r.unit() < 0.5 ? -1 : 1;
             return bench::Call{sign * r.uniform(89, 90), r.uniform(-180, 180), sign * r.uniform(89, 90),
                                r.uniform(-180, 180)};
         },
         5000},
    };
    const DirectGroup direct_groups[] = {
        {"random starts, up to 20,000 km", 0, 2e7, 50000},
        {"random starts, 20,000 to 100,000 km", 2e7, 1e8, 10000},
    };

    std::string table =
        "| inverse: group | pairs | distance max (m) | distance 99.9% (m) | azimut_start max (\") "
        "| azimut_start 99.9% (\") | azimut_end max (\") | azimut_end 99.9% (\") | pass limit reached |\n"
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    std::uint64_t seed = 100;
    for (const InverseGroup& g : inverse_groups) table += inverse_row(g, ++seed);
    table +=
        "\n| direct: group | starts | point reached max (m) | point reached 99.9% (m) | pass limit reached |\n"
        "|---|---:|---:|---:|---:|\n";
    for (const DirectGroup& g : direct_groups) table += direct_row(g, ++seed);

    table += azimuth_by_longitude_difference(++seed);
    table += project_lon_range(++seed);

    const std::string table_path = dir + "/accuracy-table.md";
    if (FILE* f = std::fopen(table_path.c_str(), "w")) {
        std::fputs(table.c_str(), f);
        std::fclose(f);
    }
    std::fputs(table.c_str(), stdout);

    return 0;
}
