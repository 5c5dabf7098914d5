// SPDX-License-Identifier: MIT
// ns per call of both solvers and of GeographicLib's Inverse and Direct on
// the same workloads, in one run, with the mean number of passes.
#include <GeographicLib/Geodesic.hpp>
#include <benchmark/benchmark.h>

#include "accuracy/reference.h"
#include "bench/workloads.h"
#include "geodesy/direct_impl.h"
#include "geodesy/direct.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/inverse_impl.h"
#include "geodesy/inverse.h"

namespace {

using geodesy::deg_to_rad;

using bench::wgs84;

// Radians for our solvers, prepared outside the timed loop.
std::vector<bench::Call> in_radians(std::vector<bench::Call> calls, bool direct) {
    for (bench::Call& c : calls) {
        c = {deg_to_rad(c.a), deg_to_rad(c.b), deg_to_rad(c.c), direct ? c.d : deg_to_rad(c.d)};
    }
    return calls;
}

template <typename Solve>
void run(benchmark::State& state, const std::vector<bench::Call>& calls, Solve solve) {
    size_t i = 0;
    for (auto _ : state) {
        solve(calls[i]);
        i = (i + 1) & (calls.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

double mean_inverse_passes(const std::vector<bench::Call>& calls) {
    long total = 0;
    for (const bench::Call& c : calls) {
        double s, a1, a2;
        int passes = 0;
        geodesy::detail::solve_inverse(c.a, c.b, c.c, c.d, &s, &a1, &a2, &passes);
        total += passes;
    }
    return static_cast<double>(total) / calls.size();
}

double mean_direct_passes(const std::vector<bench::Call>& calls) {
    long total = 0;
    for (const bench::Call& c : calls) {
        double lat2, lon2;
        int passes = 0;
        geodesy::detail::solve_direct(c.a, c.b, c.c, c.d, &lat2, &lon2, &passes);
        total += passes;
    }
    return static_cast<double>(total) / calls.size();
}

// Both libraries take degrees here, so the conversions are timed too, as
// the SQL functions do them.
void inverse(benchmark::State& state, const std::vector<bench::Call>& calls) {
    run(state, calls, [](const bench::Call& c) {
        double s, a1, a2;
        geodesy::inverse_geodesic(deg_to_rad(c.a), deg_to_rad(c.b), deg_to_rad(c.c),
                                  deg_to_rad(c.d), &s, &a1, &a2);
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(a1);
        benchmark::DoNotOptimize(a2);
    });
    state.counters["passes"] = mean_inverse_passes(in_radians(calls, false));
}

void geographiclib_inverse(benchmark::State& state, const std::vector<bench::Call>& calls) {
    run(state, calls, [](const bench::Call& c) {
        double s, a1, a2;
        wgs84().Inverse(c.a, c.b, c.c, c.d, s, a1, a2);
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(a1);
        benchmark::DoNotOptimize(a2);
    });
}

void direct(benchmark::State& state, const std::vector<bench::Call>& calls) {
    run(state, calls, [](const bench::Call& c) {
        double lat2, lon2;
        geodesy::direct_geodesic(deg_to_rad(c.a), deg_to_rad(c.b), deg_to_rad(c.c), c.d, &lat2,
                                 &lon2);
        benchmark::DoNotOptimize(lat2);
        benchmark::DoNotOptimize(lon2);
    });
    state.counters["passes"] = mean_direct_passes(in_radians(calls, true));
}

void geographiclib_direct(benchmark::State& state, const std::vector<bench::Call>& calls) {
    run(state, calls, [](const bench::Call& c) {
        double lat2, lon2;
        wgs84().Direct(c.a, c.b, c.c, c.d, lat2, lon2);
        benchmark::DoNotOptimize(lat2);
        benchmark::DoNotOptimize(lon2);
    });
}

const std::vector<bench::Call> random_pairs = bench::random_pairs();
const std::vector<bench::Call> short_lines = bench::short_lines();
const std::vector<bench::Call> direct_starts = bench::direct_starts();

BENCHMARK_CAPTURE(inverse, random_pairs, random_pairs);
BENCHMARK_CAPTURE(geographiclib_inverse, random_pairs, random_pairs);
BENCHMARK_CAPTURE(inverse, short_lines, short_lines);
BENCHMARK_CAPTURE(geographiclib_inverse, short_lines, short_lines);
BENCHMARK_CAPTURE(direct, up_to_20000km, direct_starts);
BENCHMARK_CAPTURE(geographiclib_direct, up_to_20000km, direct_starts);

}  // namespace

BENCHMARK_MAIN();
