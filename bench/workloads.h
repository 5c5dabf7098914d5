// SPDX-License-Identifier: MIT
// Fixed, seeded workloads shared by the benchmarks and the accuracy
// report: the same inputs in every run, on every machine.
#ifndef GEODESY_BENCH_WORKLOADS_H
#define GEODESY_BENCH_WORKLOADS_H

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace bench {

// Four numbers per call, in degrees (and metres for the direct distance).
struct Call {
    double a, b, c, d;
};

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    double unit() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    double latitude() { return std::asin(2 * unit() - 1) * 57.29577951308232; }
    double sign() { return unit() < 0.5 ? -1 : 1; }

private:
    std::mt19937_64 engine_;
};

constexpr int kWorkloadSize = 1 << 14;

// Pairs of points uniform on the sphere (lat1, lon1, lat2, lon2).
inline std::vector<Call> random_pairs(int n = kWorkloadSize) {
    Random r(1);
    std::vector<Call> calls(n);
    for (Call& c : calls) c = {r.latitude(), r.uniform(-180, 180), r.latitude(), r.uniform(-180, 180)};
    return calls;
}

// Second point within about 50 km of the first.
inline std::vector<Call> short_lines(int n = kWorkloadSize) {
    Random r(2);
    std::vector<Call> calls(n);
    for (Call& c : calls) {
        const double lat = r.uniform(-80, 80), lon = r.uniform(-180, 180);
        c = {lat, lon, lat + r.uniform(-0.3, 0.3), lon + r.uniform(-0.3, 0.3)};
    }
    return calls;
}

// Direct problems: start, azimuth, distance up to 20,000 km.
inline std::vector<Call> direct_starts(int n = kWorkloadSize) {
    Random r(3);
    std::vector<Call> calls(n);
    for (Call& c : calls) c = {r.latitude(), r.uniform(-180, 180), r.uniform(0, 360), r.uniform(0, 2e7)};
    return calls;
}

}  // namespace bench

#endif  // GEODESY_BENCH_WORKLOADS_H
