// SPDX-License-Identifier: MIT
// Compiled by cgo from the project's own source (see geodesy.go), with
// the project's floating-point settings (fp.h).
#include "fp.h"
#include "geodesy/inverse.cpp"
