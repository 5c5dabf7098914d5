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
