// SPDX-License-Identifier: MIT
// Accuracy report: all five functions' solvers against GeographicLib on
// the same ellipsoid, by kind of line, plus the data for the picture of
// the nearly antipodal band.
//
//   accuracy OUTPUT_DIR
// writes OUTPUT_DIR/accuracy-table.md and OUTPUT_DIR/antipodal-band.dat.
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/reference.h"
#include "bench/workloads.h"
#include "geodesy/direct_impl.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse_impl.h"

namespace {

using geodesy::deg_to_rad;
using geodesy::rad_to_deg;

using bench::wgs84;

double arcseconds_between(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::fmin(d, 360.0 - d) * 3600.0;
}

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
        double ref_lat2, ref_lon2;
        wgs84().Direct(lat1, lon1, azimuth, metres, ref_lat2, ref_lon2);
        double lat2, lon2;
        int passes = 0;
        geodesy::detail::solve_direct(deg_to_rad(lat1), deg_to_rad(lon1), deg_to_rad(azimuth),
                                      metres, &lat2, &lon2, &passes);
        limit_hits += passes == geodesy::detail::direct_pass_bound - 1;
        double gap;
        wgs84().Inverse(rad_to_deg(lat2), rad_to_deg(lon2), ref_lat2, ref_lon2, gap);
        position.add(gap);
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

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";

    const InverseGroup inverse_groups[] = {
        {"random pairs", random_pair, 50000},
        {"short, 1 m to 10 km",
         [](bench::Random& r) {
             const double lat = r.latitude(), lon = r.uniform(-180, 180);
             const double span = std::pow(10.0, r.uniform(-5, -1));
             return bench::Call{lat, lon, lat + r.uniform(-span, span), lon + r.uniform(-span, span)};
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

    const std::string table_path = dir + "/accuracy-table.md";
    if (FILE* f = std::fopen(table_path.c_str(), "w")) {
        std::fputs(table.c_str(), f);
        std::fclose(f);
    }
    std::fputs(table.c_str(), stdout);

    // The picture: distance error for lat2 = −lat1, longitude difference
    // 179° to 180°, as rows of "dlon lat log10(error in m)" for gnuplot.
    const std::string band_path = dir + "/antipodal-band.dat";
    FILE* band = std::fopen(band_path.c_str(), "w");
    if (!band) return 1;
    for (int i = 0; i <= 180; ++i) {
        const double lat = i * 0.5;
        for (int j = 0; j <= 200; ++j) {
            const double dlon = 179.0 + j * 0.005;
            double s12;
            wgs84().Inverse(lat, 0, -lat, dlon, s12);
            double s, a1, a2;
            geodesy::detail::solve_inverse(deg_to_rad(lat), 0, deg_to_rad(-lat), deg_to_rad(dlon), &s,
                                           &a1, &a2, nullptr);
            const double error = std::fabs(s - s12);
            std::fprintf(band, "%.3f %.1f %.3f\n", dlon, lat, std::log10(std::fmax(error, 1e-9)));
        }
        std::fputc('\n', band);
    }
    std::fclose(band);
    return 0;
}
