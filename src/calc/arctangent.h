#pragma once

namespace zepa {

// The arctangent of `x` in radians, in double precision, within about one unit in the last
// place: rounded to single it gives the single nearest to the true arctangent for every single
// `x`. Signed zeros keep their sign, ±infinity gives ±pi/2 and a NaN comes back unchanged.
// Made here rather than taken from the C library's mathematics, so that every platform gives
// the same bits and the program needs no mathematics library at all.
double arctangent(double x);

}  // namespace zepa
