# SPDX-License-Identifier: MIT
# geodesy_flags: the compile options every target of this project uses.
#
# The results are defined to the last bit, so the compiler must not fuse a*b+c
# into one rounding (GCC does by default on aarch64 and with -march=native on
# x86-64) and must not use the x87 unit's extended precision on 32-bit x86.
# No fast-math style flag may ever be added here: those reorder sums and drop
# the NaN tests the solvers rely on.
add_library(geodesy_flags INTERFACE)
target_compile_features(geodesy_flags INTERFACE cxx_std_17)
set(CMAKE_CXX_EXTENSIONS OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # -fno-math-errno lets the compiler treat sin, cos and atan2 as pure, so
  # that an adapter's unused results cost nothing and sqrt is one
  # instruction; none of the maths functions' results change.
  target_compile_options(geodesy_flags INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow
    -ffp-contract=off -fno-math-errno)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" AND NOT EMSCRIPTEN)
    target_compile_options(geodesy_flags INTERFACE -msse2 -mfpmath=sse)
  endif()
elseif(MSVC)
  target_compile_options(geodesy_flags INTERFACE /W4 /fp:precise /fp:contract-)
endif()

# Sanitizer builds (make sanitize, make tsan, make fuzz): every target,
# the module included, is instrumented, and the first report stops the run.
set(GEODESY_SANITIZE "" CACHE STRING
  "Sanitizers for every target, e.g. address,undefined or thread (empty: none)")
if(GEODESY_SANITIZE)
  target_compile_options(geodesy_flags INTERFACE
    -fsanitize=${GEODESY_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  target_link_options(geodesy_flags INTERFACE -fsanitize=${GEODESY_SANITIZE})
endif()
