// SPDX-License-Identifier: MIT
// The local search that the figure programs use to break a bound: compass
// search with random hops, over a few coordinates at once.
#ifndef GEODESY_ACCURACY_SEARCH_H
#define GEODESY_ACCURACY_SEARCH_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace bench {

template <std::size_t N>
struct Probe {
    std::array<double, N> x;
    double value;
};

// How a climb moves: coordinate k by h · scale[k] (0: never moves), h from
// first_step halving down to last_step; then up to `hops` times, 150
// random points within ±hop · scale[k] of where it stopped, and a new climb
// from h = hop if one of them is better, since the landscapes searched
// here are jagged and a climb stops at local edges.
template <std::size_t N>
struct Moves {
    std::array<double, N> scale;
    double first_step, last_step, hop;
    int hops;
};

template <std::size_t N>
using Evaluate = std::function<bool(Probe<N>&)>;  // fills value; false: not allowed
template <std::size_t N>
using Better = std::function<bool(const Probe<N>&, const Probe<N>&)>;

// From p, which is allowed, moves to allowed points that are better, trying
// every combination of −h, 0, +h on the free coordinates, until nothing
// helps at the last step.
template <std::size_t N>
Probe<N> climb(Probe<N> p, const Moves<N>& moves, const Evaluate<N>& evaluate,
               const Better<N>& better, unsigned seed = 1) {
    std::size_t combinations = 1;
    for (std::size_t k = 0; k < N; ++k) combinations *= 3;
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> box(-moves.hop, moves.hop);
    for (int hop = 0; hop <= moves.hops; ++hop) {
        for (double h = hop == 0 ? moves.first_step : moves.hop; h >= moves.last_step;) {
            Probe<N> best = p;
            for (std::size_t m = 0; m < combinations; ++m) {
                Probe<N> q = p;
                bool moved = false, fixed_moved = false;
                for (std::size_t k = N, rest = m; k-- > 0; rest /= 3) {
                    const int step = static_cast<int>(rest % 3) - 1;  // first coordinate slowest
                    if (step == 0) continue;
                    moved = true;
                    fixed_moved = fixed_moved || moves.scale[k] == 0;
                    q.x[k] += step * h * moves.scale[k];
                }
                if (!moved || fixed_moved) continue;
                if (evaluate(q) && better(q, best)) best = q;
            }
            if (best.x == p.x) {
                h /= 2;
            } else {
                p = best;
            }
        }
        Probe<N> best = p;
        for (int i = 0; i < 150; ++i) {
            Probe<N> q = p;
            for (std::size_t k = 0; k < N; ++k) {
                if (moves.scale[k] != 0) q.x[k] += box(random) * moves.scale[k];
            }
            if (evaluate(q) && better(q, best)) best = q;
        }
        if (best.x == p.x) break;
        p = best;
    }
    return p;
}

// Climbs from every start on all cores; the best point found (the first
// start when there are none better). Start i climbs with seed i + 1, so
// the result does not depend on the number of cores.
template <std::size_t N>
Probe<N> best_climb(const std::vector<Probe<N>>& starts, const Moves<N>& moves,
                    const Evaluate<N>& evaluate, const Better<N>& better) {
    std::vector<Probe<N>> found(starts.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < n; ++t) {
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < starts.size();) {
                found[i] = climb(starts[i], moves, evaluate, better, static_cast<unsigned>(i + 1));
            }
        });
    }
    for (std::thread& w : workers) w.join();
    Probe<N> best = found.empty() ? Probe<N>{} : found[0];
    for (const Probe<N>& p : found) {
        if (better(p, best)) best = p;
    }
    return best;
}

// Runs job(i) for i in [0, count) on all cores.
inline void parallel_for(std::size_t count, const std::function<void(std::size_t)>& job) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < n; ++t) {
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < count;) job(i);
        });
    }
    for (std::thread& w : workers) w.join();
}

// How hard to search: ACCURACY_BUDGET=N (1 unless set, as in CI) draws N
// times as many random points and scans the antipodal parallel N times as
// finely. Releases run with 4 (make accuracy ACCURACY_BUDGET=4).
inline int budget() {
    static const int n = [] {
        const char* text = std::getenv("ACCURACY_BUDGET");
        const int value = text ? std::atoi(text) : 1;
        if (value < 1 || value > 1000) {
            std::fprintf(stderr, "ACCURACY_BUDGET must be a whole number from 1 to 1000, not '%s'\n", text);
            std::exit(2);
        }
        return value;
    }();
    return n;
}

}  // namespace bench

#endif  // GEODESY_ACCURACY_SEARCH_H
