// SPDX-License-Identifier: MIT
// Seeded, portable random geodesics for the reference comparisons: the
// same numbers with every compiler and standard library.
#ifndef GEODESY_TESTS_RANDOM_POINTS_H
#define GEODESY_TESTS_RANDOM_POINTS_H

#include <cmath>
#include <cstdint>
#include <random>

class RandomPoints {
public:
    explicit RandomPoints(std::uint64_t seed) : engine_(seed) {}

    // Uniform in [0, 1), from the top 53 bits of the engine's output
    // (std::uniform_real_distribution differs between libraries).
    double unit() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }

    // A latitude in degrees, uniform over the sphere's area.
    double latitude() { return std::asin(2 * unit() - 1) * 180 / 3.141592653589793; }
    double longitude() { return uniform(-180, 180); }

private:
    std::mt19937_64 engine_;
};

#endif  // GEODESY_TESTS_RANDOM_POINTS_H
