// SPDX-License-Identifier: MIT
// The edges of the antipodal band, searched for the inputs that break each
// figure of the docs rather than read off a grid:
//
//   - the smallest longitude difference at which distance's error exceeds
//     1 mm, 1 m and 1 km, anywhere and, off the antipodal parallel, for each
//     of a few first latitudes;
//   - on the antipodal parallel (lat2 = −lat1), for each of those
//     latitudes, where the iteration first stops at its pass limit: below
//     it results converge, and any error over 1 mm lies at or beyond it;
//   - the largest offset of lat2 from −lat1 that still has an error over
//     1 mm, per latitude by bisection on the offset at every longitude
//     difference of a fine scan, and anywhere by climbing;
//   - the largest error of all, printed as found;
//   - on each parallel where the scan meets no error over a threshold, the
//     largest it meets, and the worst point that a search from outside
//     this project found at 89°;
//   - on the equator, the first longitude difference (to the last bit)
//     that reaches the pass limit, and a scan from there to 180° that
//     counts the ones that still converge.
//
//   band_edges OUTPUT_DIR       writes OUTPUT_DIR/band-edges.md too
//
// Each search starts from the best points of a grid scan and climbs from
// them by compass search (each coordinate moved by ±h, h halved when no
// move helps, down to 1e-10°), keeping only points whose error is over the
// threshold; a search along the antipodal parallel alone is a fine scan
// and a bisection. Bounds are rounded outward: edges down, offsets up.
// Every point is printed as a call that a user can paste.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "accuracy/reference.h"
#include "accuracy/search.h"

namespace {

std::atomic<long> evaluations{0};

double error_at(double lat1, double lat2, double dlon) {
    ++evaluations;
    return bench::distance_error(lat1, lat2, dlon);
}

struct Point {
    double lat1, lat2, dlon;
    double error;
};

constexpr double kThresholds[] = {1e-3, 1.0, 1e3};
const char* const kThresholdNames[] = {"1 mm", "1 m", "1 km"};
constexpr double kScanFrom = 179.0, kScanStep = 0.005;
constexpr int kScanSteps = 201;  // 179.0° to 180.0°
constexpr int kStarts = 12;      // grid points a search climbs from

// Which coordinates a search may move.
enum class Free { all, not_lat1, dlon_only };

bench::Probe<3> probe(const Point& p) { return {{p.lat1, p.lat2, p.dlon}, p.error}; }
Point point(const bench::Probe<3>& q) { return {q.x[0], q.x[1], q.x[2], q.value}; }

bench::Moves<3> moves(Free free) {
    return {{free == Free::all ? 1.0 : 0.0, free == Free::dlon_only ? 0.0 : 1.0, 1.0}, 0.02, 1e-10, 1e-3,
            free == Free::all ? 4 : 0};
}

// The search's view of a point: lat2 follows lat1 along the antipodal
// parallel, and points off the sphere or past 180° are not allowed.
bench::Evaluate<3> evaluate(Free free, const std::function<bool(const Point&)>& keep) {
    return [free, &keep](bench::Probe<3>& q) {
        if (free == Free::dlon_only) q.x[1] = -q.x[0];
        if (std::fabs(q.x[0]) > 90 || std::fabs(q.x[1]) > 90 || q.x[2] > 180) return false;
        q.value = error_at(q.x[0], q.x[1], q.x[2]);
        return keep(point(q));
    };
}

bench::Better<3> compare(const std::function<bool(const Point&, const Point&)>& better) {
    return [&better](const bench::Probe<3>& a, const bench::Probe<3>& b) { return better(point(a), point(b)); };
}

// Compass search from p, which satisfies keep(p), to points that still
// satisfy keep and are better, down to steps of 1e-10°; with every
// coordinate free, then up to 4 hops within 1e-3° of where it stopped.
Point climb(Point p, Free free, const std::function<bool(const Point&)>& keep,
            const std::function<bool(const Point&, const Point&)>& better, unsigned seed = 1) {
    return point(bench::climb(probe(p), moves(free), evaluate(free, keep), compare(better), seed));
}

// For each first latitude and offset of the grid, the smallest scanned
// longitude difference whose error exceeds each threshold (NaN: none).
struct Scan {
    std::vector<double> lats, offsets;
    std::vector<std::vector<std::array<Point, 3>>> first;  // [lat][offset][threshold]
};

Scan scan(std::vector<double> lats, std::vector<double> offsets) {
    Scan s{lats, offsets, {}};
    s.first.assign(lats.size(), std::vector<std::array<Point, 3>>(offsets.size()));
    bench::parallel_for(lats.size(), [&](size_t i) {
        for (size_t k = 0; k < s.offsets.size(); ++k) {
            const double lat1 = s.lats[i], lat2 = -lat1 + s.offsets[k];
            auto& cell = s.first[i][k];
            for (Point& p : cell) p = {lat1, lat2, NAN, 0};
            if (std::fabs(lat2) > 90) continue;
            for (int j = 0; j < kScanSteps; ++j) {
                const double dlon = kScanFrom + j * kScanStep;
                const double e = error_at(lat1, lat2, dlon);
                bool all = true;
                for (int m = 0; m < 3; ++m) {
                    if (std::isnan(cell[m].dlon) && e > kThresholds[m]) cell[m] = {lat1, lat2, dlon, e};
                    all = all && !std::isnan(cell[m].dlon);
                }
                if (all) break;
            }
        }
    });
    return s;
}

// Where the searches start: over the rows of the scan whose latitude passes
// `row`, the grid point of each row (every `every` degrees) that ranks
// first by `before`, and the
// kStarts that rank first of all. The error is jagged near the pass limit,
// so a climb stops at local edges; many starts spread over the band find
// the earliest.
std::vector<Point> starts(const Scan& s, int m, const std::function<bool(double)>& row,
                          const std::function<bool(const Point&, const Point&)>& before,
                          double every = 0.5) {
    std::vector<Point> all, picked;
    for (size_t i = 0; i < s.lats.size(); ++i) {
        if (!row(s.lats[i]) || std::fmod(s.lats[i], every) != 0) continue;
        std::vector<Point> in_row;
        for (const auto& cell : s.first[i]) {
            if (!std::isnan(cell[m].dlon)) in_row.push_back(cell[m]);
        }
        if (in_row.empty()) continue;
        std::sort(in_row.begin(), in_row.end(), before);
        picked.push_back(in_row[0]);
        all.insert(all.end(), in_row.begin(), in_row.end());
    }
    std::sort(all.begin(), all.end(), before);
    if (all.size() > kStarts) all.resize(kStarts);
    picked.insert(picked.end(), all.begin(), all.end());
    return picked;
}

Point best_of(const std::vector<Point>& from, Free free, const std::function<bool(const Point&)>& keep,
              const std::function<bool(const Point&, const Point&)>& better) {
    if (from.empty()) return {NAN, NAN, NAN, 0};
    std::vector<bench::Probe<3>> starts;
    for (const Point& p : from) starts.push_back(probe(p));
    return point(bench::best_climb(starts, moves(free), evaluate(free, keep), compare(better)));
}

bool smaller_dlon(const Point& a, const Point& b) { return a.dlon < b.dlon; }

// For first latitudes −1° to 1° by 0.05°, the largest offset of lat2 from
// −lat1 (by 0.0005°, either side) at which some longitude difference
// (179.70° to 179.85°, by 2e-5°) has an error over 1 mm. The band is
// widest there, with one point near the equator, and its widest points are
// spikes too narrow for the coarse grid.
std::vector<Point> widest_near_equator() {
    constexpr int kRows = 41;
    std::vector<Point> found(kRows, Point{NAN, NAN, NAN, 0});
    bench::parallel_for(kRows, [&](size_t i) {
        const double lat1 = (static_cast<int>(i) - 20) / 20.0;  // exactly 0 in the middle
        for (int k = 1720; k > 1680 && std::isnan(found[i].dlon); --k) {  // 0.86° to 0.84°
            for (double offset : {k * 0.0005, -k * 0.0005}) {
                for (int j = 0; j <= 7500 && std::isnan(found[i].dlon); ++j) {
                    const double dlon = 179.70 + j * 2e-5;
                    const double e = error_at(lat1, -lat1 + offset, dlon);
                    if (e > 1e-3) found[i] = {lat1, -lat1 + offset, dlon, e};
                }
            }
        }
    });
    std::vector<Point> rows;
    for (const Point& p : found) {
        if (!std::isnan(p.dlon)) rows.push_back(p);
    }
    return rows;
}

// The step of the scans along the antipodal parallel: 1e-6°, finer with
// ACCURACY_BUDGET. The errors there come in spikes a few millionths of a
// degree wide, which a coarser scan steps over.
double parallel_step() { return 1e-6 / bench::budget(); }

// Along the antipodal parallel at lat1: the first longitude difference
// over each threshold, by a scan of parallel_step() and a bisection, then
// a climb that looks for an earlier one. largest is the largest error the
// scan met; when a threshold is never crossed the scan runs to 180°, so
// it is then the largest on the whole parallel, as far as the scan sees.
std::array<Point, 3> edges_on_parallel(double lat1, Point* largest) {
    std::array<Point, 3> found;
    found.fill({lat1, -lat1, NAN, 0});
    *largest = {lat1, -lat1, kScanFrom, 0};
    const long steps = std::lround((180.0 - kScanFrom) / parallel_step());
    double below = kScanFrom;
    int pending = 3;
    for (long i = 0; i <= steps && pending > 0; ++i) {
        const double dlon = kScanFrom + i * parallel_step();
        const double e = error_at(lat1, -lat1, dlon);
        if (e > largest->error) *largest = {lat1, -lat1, dlon, e};
        for (int m = 0; m < 3; ++m) {
            const double threshold = kThresholds[m];
            if (!std::isnan(found[m].dlon) || !(e > threshold)) continue;
            double low = below, high = dlon;
            for (int k = 0; k < 50; ++k) {
                const double mid = (low + high) / 2;
                (error_at(lat1, -lat1, mid) > threshold ? high : low) = mid;
            }
            const Point p{lat1, -lat1, high, error_at(lat1, -lat1, high)};
            found[m] = climb(p, Free::dlon_only, [&](const Point& q) { return q.error > threshold; },
                             smaller_dlon);
            --pending;
        }
        below = dlon;
    }
    return found;
}

// The passes the solver's iteration runs for the pair (40: its limit).
int passes_at(double lat1, double lat2, double dlon) {
    double s, a1, a2;
    int passes = 0;
    geodesy::detail::solve_inverse(geodesy::deg_to_rad(lat1), 0, geodesy::deg_to_rad(lat2),
                                   geodesy::deg_to_rad(dlon), &s, &a1, &a2, &passes);
    return passes;
}

// The step of the pass-count scan along the antipodal parallel: 1e-7°,
// finer with ACCURACY_BUDGET.
double onset_step() { return 1e-7 / bench::budget(); }

// Along the antipodal parallel at lat1, the first longitude difference at
// which the iteration stops at its pass limit: a scan of the pass count by
// onset_step() and a bisection. Below it, the most passes any scanned
// point needed. The iteration does not slow down towards the onset (a few
// passes up to it, the limit from it), so the onset is sharp; beyond it
// the result is whatever the last pass left, and its error jumps about in
// spikes narrower than any scan. So on the parallel every threshold's edge
// is stated as the onset, and the error scan only checks that nothing
// over 1 mm lies below it.
struct Onset {
    double dlon;
    int most_passes_below;
};

Onset onset_on_parallel(double lat1) {
    const int limit = geodesy::detail::max_inverse_passes;
    const long steps = std::lround((180.0 - kScanFrom) / onset_step());
    Onset onset{NAN, 0};
    double below = kScanFrom;
    for (long i = 0; i <= steps; ++i) {
        const double dlon = kScanFrom + i * onset_step();
        const int passes = passes_at(lat1, -lat1, dlon);
        if (passes >= limit) {
            double low = below, high = dlon;
            for (int k = 0; k < 50; ++k) {
                const double mid = (low + high) / 2;
                (passes_at(lat1, -lat1, mid) >= limit ? high : low) = mid;
            }
            onset.dlon = high;
            return onset;
        }
        onset.most_passes_below = std::max(onset.most_passes_below, passes);
        below = dlon;
    }
    return onset;
}

// The step of the longitude differences at which the reach is bisected:
// 2e-5°, finer with ACCURACY_BUDGET.
double reach_step() { return 2e-5 / bench::budget(); }

// The largest offset of lat2 from −lat1, on either side, with an error
// over 1 mm at lat1: at every longitude difference from `from` to 180° by
// reach_step(), a bisection on the offset between a point with such an
// error (on the parallel, or else the first of a scan by 0.01°) and 1°
// beyond it. It finds the edge of the error's region at each longitude
// difference, where a climb from a grid can stop at a spike's foot.
Point reach_by_bisection(double lat1, double from) {
    Point widest{lat1, NAN, NAN, 0};
    const long steps = std::lround((180.0 - from) / reach_step());
    for (long i = 0; i <= steps; ++i) {
        const double dlon = from + i * reach_step();
        for (double side : {1.0, -1.0}) {
            auto lat2 = [&](double offset) { return -lat1 + side * offset; };
            double low = -1;
            if (error_at(lat1, -lat1, dlon) > 1e-3) low = 0;
            for (int k = 1; k <= 100 && low < 0 && std::fabs(lat2(k * 0.01)) <= 90; ++k) {
                if (error_at(lat1, lat2(k * 0.01), dlon) > 1e-3) low = k * 0.01;
            }
            if (low < 0) continue;
            double high = low + 1;
            while (std::fabs(lat2(high)) > 90) high = (low + high) / 2;
            for (int k = 0; k < 50; ++k) {
                const double mid = (low + high) / 2;
                (error_at(lat1, lat2(mid), dlon) > 1e-3 ? low : high) = mid;
            }
            if (std::isnan(widest.lat2) || low > std::fabs(widest.lat1 + widest.lat2)) {
                widest = {lat1, lat2(low), dlon, error_at(lat1, lat2(low), dlon)};
            }
        }
    }
    return widest;
}

std::string call(const Point& p) {
    char text[160];
    std::snprintf(text, sizeof text, "distance(%.17g, 0, %.17g, %.17g)", p.lat1, p.lat2, p.dlon);
    return text;
}

// Rounded down to decimals places, after moving down by margin. Edges on
// the parallel come from a scan of parallel_step() and keep four places;
// edges off it come from climbs, which a search from outside this project
// has beaten by up to 6e-4°: they move down by 1e-3° and keep two.
std::string floor_deg(double x, int decimals, double margin = 0) {
    if (std::isnan(x)) return "never";
    const double scale = std::pow(10.0, decimals);
    char text[32];
    std::snprintf(text, sizeof text, "%.*f°", decimals, std::floor((x - margin) * scale) / scale);
    return text;
}

constexpr double kClimbMargin = 1e-3;
// The onset on the parallel moves down by 1e-5°, a hundred times its scan's
// step, before it is rounded down; a reach moves out by 1e-4° before it is
// rounded up, five times the step of the longitude differences it is
// bisected at.
constexpr double kOnsetMargin = 1e-5;
constexpr double kReachMargin = 1e-4;

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    std::string out;
    auto emit = [&](const std::string& line) {
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
        out += line;
    };

    std::vector<double> lats, offsets;
    for (int i = 0; i <= 180; ++i) lats.push_back(i * 0.5);
    for (int k = -75; k <= 75; ++k) offsets.push_back(k * 0.02);
    const Scan s = scan(lats, offsets);
    char line[512];
    std::snprintf(line, sizeof line,
                  "Grid: lat1 0° to 90° by 0.5°, lat2 within 1.5° of −lat1 by 0.02°, longitude "
                  "difference 179° to 180° by 0.005°; %ld evaluations. The antipodal parallel is "
                  "scanned by %.3g°.\n\n",
                  evaluations.load(), parallel_step());
    emit(line);

    auto wider = [](const Point& a, const Point& b) {
        return std::fabs(a.lat1 + a.lat2) > std::fabs(b.lat1 + b.lat2);
    };
    auto everywhere = [](double) { return true; };

    // Per first latitude, on the antipodal parallel and off it; what these
    // find also counts for the edges anywhere below.
    const std::vector<int> rows = {0, 10, 20, 30, 40, 50, 60, 70, 80, 85, 89};
    std::vector<std::array<Point, 6>> edges(rows.size());
    std::vector<Point> offsets_found(rows.size());
    std::vector<Point> largest_on_parallel(rows.size());
    bench::parallel_for(rows.size(), [&](size_t r) {
        const std::array<Point, 3> on = edges_on_parallel(rows[r], &largest_on_parallel[r]);
        for (int m = 0; m < 3; ++m) edges[r][m] = on[m];
    });
    for (size_t r = 0; r < rows.size(); ++r) {
        const double lat = rows[r];
        auto in_row = [lat](double l) { return l == lat; };
        for (int m = 0; m < 3; ++m) {
            const double t = kThresholds[m];
            edges[r][3 + m] = best_of(starts(s, m, in_row, smaller_dlon), Free::not_lat1,
                                      [t](const Point& q) { return q.error > t; }, smaller_dlon);
        }
        offsets_found[r] = best_of(starts(s, 0, in_row, wider), Free::not_lat1,
                                   [](const Point& q) { return q.error > 1e-3; }, wider);
    }
    // Per first latitude: the onset on the parallel, and the reach by
    // bisection from a little below the earliest error over 1 mm found.
    std::vector<Onset> onsets(rows.size());
    std::vector<Point> reaches(rows.size());
    bench::parallel_for(rows.size() * 2, [&](size_t job) {
        const size_t r = job / 2;
        if (job % 2 == 0) {
            onsets[r] = onset_on_parallel(rows[r]);
            return;
        }
        const double earliest = std::fmin(edges[r][0].dlon, edges[r][3].dlon);
        const double from = std::isnan(earliest) ? 179.2 : std::floor(earliest * 100) / 100 - 0.01;
        reaches[r] = reach_by_bisection(rows[r], std::fmax(from, 179.2));
    });
    for (size_t r = 0; r < rows.size(); ++r) {
        const Point& q = reaches[r];
        if (!std::isnan(q.lat2) && (std::isnan(offsets_found[r].lat2) || wider(q, offsets_found[r]))) {
            offsets_found[r] = q;
        }
    }

    // Anywhere: the smallest longitude difference over each threshold.
    emit("| error over | from a longitude difference of | at | error there |\n|---|---:|---|---:|\n");
    for (int m = 0; m < 3; ++m) {
        const double t = kThresholds[m];
        Point p = best_of(starts(s, m, everywhere, smaller_dlon, 2.0), Free::all,
                          [t](const Point& q) { return q.error > t; }, smaller_dlon);
        for (const auto& e : edges) {
            for (const Point& q : {e[m], e[3 + m]}) {
                if (q.dlon < p.dlon) p = q;
            }
        }
        std::snprintf(line, sizeof line, "| %s | %s | `%s` | %.4g m |\n", kThresholdNames[m],
                      floor_deg(p.dlon, 2, kClimbMargin).c_str(), call(p).c_str(), p.error);
        emit(line);
    }

    // The largest offset from the antipodal parallel with an error over 1 mm:
    // climbs from the grid's widest points and from a finer scan of the
    // latitudes where the band is widest.
    std::vector<Point> wide_starts = starts(s, 0, everywhere, wider, 2.0);
    const std::vector<Point> frontier = widest_near_equator();
    wide_starts.insert(wide_starts.end(), frontier.begin(), frontier.end());
    Point wide = best_of(wide_starts, Free::all, [](const Point& q) { return q.error > 1e-3; }, wider);
    for (const Point& q : offsets_found) {  // the rows' bisections count too
        if (!std::isnan(q.lat2) && wider(q, wide)) wide = q;
    }
    for (size_t r = 0; r < rows.size(); ++r) {  // the finer scan counts for its rows too
        for (const Point& q : frontier) {
            if (q.lat1 == rows[r] && (std::isnan(offsets_found[r].lat2) || wider(q, offsets_found[r]))) {
                offsets_found[r] = q;
            }
        }
    }
    std::snprintf(line, sizeof line,
                  "\nLargest offset of lat2 from −lat1 with an error over 1 mm: %.4f° (`%s`, %.4g m).\n",
                  std::ceil(std::fabs(wide.lat1 + wide.lat2) * 1e4) / 1e4, call(wide).c_str(), wide.error);
    emit(line);

    // The worst error: climbs from the worst points of a scan near the equator.
    std::vector<Point> worst_starts;
    for (double lat1 = 0; lat1 <= 5; lat1 += 0.5) {
        for (double offset = -0.5; offset <= 0.5; offset += 0.05) {
            for (double dlon = 179.2; dlon <= 179.6; dlon += 0.002) {
                worst_starts.push_back({lat1, -lat1 + offset, dlon, error_at(lat1, -lat1 + offset, dlon)});
            }
        }
    }
    auto larger = [](const Point& a, const Point& b) { return a.error > b.error; };
    std::sort(worst_starts.begin(), worst_starts.end(), larger);
    worst_starts.resize(kStarts);
    const Point worst = best_of(worst_starts, Free::all, [](const Point&) { return true; }, larger);
    std::snprintf(line, sizeof line, "Largest error: %.4f km, at `%s` (%.6f m).\n", worst.error / 1000,
                  call(worst).c_str(), worst.error);
    emit(line);

    // Below the band: the largest error at a longitude difference of at
    // most 179.2°, climbing from its edge at every 2° of latitude.
    std::vector<Point> below_starts;
    for (int lat = 0; lat <= 90; lat += 2) {
        for (double offset : {-1.0, -0.5, 0.0, 0.5, 1.0}) {
            if (std::fabs(-lat + offset) <= 90) {
                below_starts.push_back({double(lat), -lat + offset, 179.2, error_at(lat, -lat + offset, 179.2)});
            }
        }
    }
    const Point below = best_of(below_starts, Free::all, [](const Point& q) { return q.dlon <= 179.2; },
                                larger);
    std::snprintf(line, sizeof line,
                  "Largest error with a longitude difference of at most 179.2°: %.3g mm, at `%s`.\n\n",
                  std::ceil(below.error * 1e6) / 1e3, call(below).c_str());
    emit(line);

    // Per first latitude, a line for each figure of the table below, with
    // the call it rests on (accuracy/band-claims.tsv checks each). On the
    // parallel: the onset, or the scan's first error over 1 mm if that lay
    // below it, with the most passes any scanned point below needed.
    for (size_t r = 0; r < rows.size(); ++r) {
        const Point& first = edges[r][0];
        Point from{double(rows[r]), -double(rows[r]), onsets[r].dlon, NAN};
        if (first.dlon < from.dlon) from = first;
        std::snprintf(line, sizeof line,
                      "On the parallel at %d°, any error over 1 mm from: `%s` (the pass limit from %.10f°, "
                      "at most %d passes below it; the scan's first error over 1 mm: %s).\n",
                      rows[r], call(from).c_str(), onsets[r].dlon, onsets[r].most_passes_below,
                      std::isnan(first.dlon) ? "none" : call(first).c_str());
        emit(line);
        for (int m = 0; m < 3; ++m) {
            Point earliest = edges[r][3 + m];
            if (edges[r][m].dlon < earliest.dlon || std::isnan(earliest.dlon)) earliest = edges[r][m];
            if (onsets[r].dlon < earliest.dlon || std::isnan(earliest.dlon)) earliest = from;
            std::snprintf(line, sizeof line, "Off the parallel at %d°, over %s from: `%s`.\n", rows[r],
                          kThresholdNames[m], call(earliest).c_str());
            emit(line);
        }
    }
    emit("\n| lat1 | on the antipodal parallel: any error over 1 mm, 1 m or 1 km from | off it: > 1 mm "
         "| > 1 m | > 1 km | largest offset with > 1 mm |\n|---:|---:|---:|---:|---:|---:|\n");
    for (size_t r = 0; r < rows.size(); ++r) {
        const Point& w = offsets_found[r];
        const double offset = std::isnan(w.lat2) ? 0 : std::fabs(w.lat1 + w.lat2);
        // On the parallel: the onset, or an earlier error over 1 mm should
        // the scan have found one, less kOnsetMargin.
        const std::string on = floor_deg(std::fmin(onsets[r].dlon, edges[r][0].dlon), 4, kOnsetMargin);
        std::string off[3];
        for (int m = 0; m < 3; ++m) {
            // Off the parallel includes on it: the earliest of the three.
            off[m] = floor_deg(std::fmin(std::fmin(edges[r][3 + m].dlon, edges[r][m].dlon), onsets[r].dlon), 2,
                               kClimbMargin);
        }
        std::snprintf(line, sizeof line, "| %d° | %s | %s | %s | %s | %.4f° |\n", rows[r], on.c_str(),
                      off[0].c_str(), off[1].c_str(), off[2].c_str(),
                      std::ceil((offset + kReachMargin) * 1e4) / 1e4);
        emit(line);
    }
    // Where the scan of the parallel met no error over a threshold, it ran
    // to 180°: the largest error it met there.
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int m = 2; m >= 0; --m) {
            if (!std::isnan(edges[r][m].dlon)) break;
            const Point& p = largest_on_parallel[r];
            std::snprintf(line, sizeof line,
                          "On the parallel at %d°, no error over %s: the largest the scan meets is %.2f m, at `%s`.\n",
                          rows[r], kThresholdNames[m], p.error, call(p).c_str());
            emit(line);
        }
    }
    // The worst point on the parallel at 89° that a search from outside
    // this project found, kept so that each run checks it.
    {
        const Point outside{89, -89, 179.98944082003237, error_at(89, -89, 179.98944082003237)};
        std::snprintf(line, sizeof line, "On the parallel at 89°, a search from outside found %.2f m, at `%s`.\n",
                      outside.error, call(outside).c_str());
        emit(line);
    }
    // The equator's onset to the last bit: the first double whose iteration
    // stops at the pass limit, and every longitude difference from there to
    // 180° by onset_step() checked to stop there too.
    {
        const double first = onsets[0].dlon;
        const int limit = geodesy::detail::max_inverse_passes;
        long converging = 0;
        const long count = std::lround((180.0 - first) / onset_step());
        for (long i = 0; i <= count; ++i) {
            if (passes_at(0, 0, std::fmin(first + i * onset_step(), 180.0)) < limit) ++converging;
        }
        std::snprintf(line, sizeof line,
                      "On the equator the pass limit is reached from %.17g° on (%.17g° converges, in %d passes); "
                      "of %ld longitude differences from there to 180° by %g°, %ld converge.\n",
                      first, std::nextafter(first, 0.0), passes_at(0, 0, std::nextafter(first, 0.0)), count + 1,
                      onset_step(), converging);
        emit(line);
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const Point& w = offsets_found[r];
        std::snprintf(line, sizeof line, "Largest offset at %d° with an error over 1 mm: %.6f° (`%s`, %.4g m).\n", rows[r],
                      std::isnan(w.lat2) ? 0 : std::fabs(w.lat1 + w.lat2), call(w).c_str(), w.error);
        emit(line);
    }
    std::snprintf(line, sizeof line, "\n%ld evaluations in all.\n", evaluations.load());
    emit(line);
    if (FILE* f = std::fopen((dir + "/band-edges.md").c_str(), "w")) {
        std::fputs(out.c_str(), f);
        std::fclose(f);
    }
    return 0;
}
