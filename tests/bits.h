// SPDX-License-Identifier: MIT
// Helpers for asserting exact doubles, telling −0 from +0 and printing the
// bit pattern when they differ.
#ifndef GEODESY_TESTS_BITS_H
#define GEODESY_TESTS_BITS_H

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

inline std::uint64_t bits_of(double x) {
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

inline double from_bits(std::uint64_t u) {
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

// Same double, bit for bit. Any two NaNs count as the same.
inline ::testing::AssertionResult SameDouble(double actual, double expected) {
    if (bits_of(actual) == bits_of(expected) || (actual != actual && expected != expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << ::testing::PrintToString(actual) << " (0x" << std::hex << bits_of(actual)
           << ") is not " << ::testing::PrintToString(expected) << " (0x" << bits_of(expected)
           << ")";
}

#define EXPECT_SAME_DOUBLE(actual, expected) EXPECT_TRUE(SameDouble((actual), (expected)))

#endif  // GEODESY_TESTS_BITS_H
