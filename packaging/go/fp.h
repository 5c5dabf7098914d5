// SPDX-License-Identifier: MIT
// The floating-point settings of the project's build, for the sources
// compiled here. cgo accepts neither -ffp-contract=off nor -fno-math-errno
// in #cgo directives, so they are set for the translation unit instead:
// without the first, GCC fuses a*b+c into one multiply-add on aarch64 and
// the last bits change.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off", "no-math-errno")
#endif

// The pragma above does not reach the compiler's own maths functions:
// without -fno-math-errno it treats sin, cos, tan, atan and atan2 as
// writing errno, so it cannot share or move their calls, and it guards
// every square root with a call to libm. Declaring them const tells it
// what -fno-math-errno tells the project's build; the same libm functions
// run on the same arguments, so no bit changes (sqrt is correctly
// rounded, and the solvers never take the root of a negative number).
#if defined(__GNUC__)
extern "C" double sqrt(double) noexcept __attribute__((const));
extern "C" double sin(double) noexcept __attribute__((const));
extern "C" double cos(double) noexcept __attribute__((const));
extern "C" double tan(double) noexcept __attribute__((const));
extern "C" double atan(double) noexcept __attribute__((const));
extern "C" double atan2(double, double) noexcept __attribute__((const));
#endif
