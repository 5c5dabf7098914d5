// SPDX-License-Identifier: MIT
// The searches that the figure programs use to break a bound: compass
// search with random hops, and differential evolution, over a few
// coordinates at once.
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

// Differential evolution from the best of starts, which a compass climb
// can miss where the landscape is a narrow ridge across its axes: each of
// `populations` populations of 40 begins around 4 of the starts (within
// ±spread[k] on coordinate k) and breeds for 1500 generations, mixing
// rand/1 and, in its second half, best/1 mutation (F from 0.4 to 0.9,
// crossover 0.9). A child replaces its parent when it is allowed and not
// worse. Population i draws from seed i + 1, so the result does not depend
// on the number of cores; the best point found.
template <std::size_t N>
Probe<N> evolve(std::vector<Probe<N>> starts, const std::array<double, N>& spread, const Evaluate<N>& evaluate,
                const Better<N>& better, int populations) {
    constexpr int kSize = 40, kGenerations = 1500, kSeedsEach = 4;
    std::stable_sort(starts.begin(), starts.end(), better);
    std::vector<Probe<N>> found(populations);
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < n; ++t) {
        workers.emplace_back([&] {
            for (int p; (p = next++) < populations;) {
                std::mt19937_64 random(static_cast<unsigned>(p + 1));
                std::uniform_real_distribution<double> unit(0, 1);
                std::vector<Probe<N>> pop;
                for (int i = 0; i < kSize; ++i) {
                    const Probe<N>& seed = starts[(p * kSeedsEach + i % kSeedsEach) % starts.size()];
                    Probe<N> q = seed;
                    if (i >= kSeedsEach) {
                        for (std::size_t k = 0; k < N; ++k) q.x[k] += (2 * unit(random) - 1) * spread[k];
                        if (!evaluate(q)) q = seed;
                    }
                    pop.push_back(q);
                }
                std::size_t best = 0;
                for (std::size_t i = 1; i < pop.size(); ++i) {
                    if (better(pop[i], pop[best])) best = i;
                }
                for (int gen = 0; gen < kGenerations; ++gen) {
                    for (std::size_t i = 0; i < pop.size(); ++i) {
                        std::size_t a, b, c;
                        do a = random() % kSize; while (a == i);
                        do b = random() % kSize; while (b == i || b == a);
                        do c = random() % kSize; while (c == i || c == a || c == b);
                        const std::size_t base = gen >= kGenerations / 2 && (random() & 1) ? best : a;
                        const double f = 0.4 + 0.5 * unit(random);
                        const std::size_t forced = random() % N;
                        Probe<N> child = pop[i];
                        for (std::size_t k = 0; k < N; ++k) {
                            if (spread[k] != 0 && (k == forced || unit(random) < 0.9))
                                child.x[k] = pop[base].x[k] + f * (pop[b].x[k] - pop[c].x[k]);
                        }
                        if (evaluate(child) && !better(pop[i], child)) {
                            pop[i] = child;
                            if (better(child, pop[best])) best = i;
                        }
                    }
                }
                found[p] = pop[best];
            }
        });
    }
    for (std::thread& w : workers) w.join();
    Probe<N> best = found.empty() ? starts.front() : found[0];
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
