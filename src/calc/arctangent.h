#pragma once

namespace zepa {

// The single nearest to the arctangent of `x` in radians, ties to even, for every single `x`:
// signed zeros keep their sign, ±infinity gives ±pi/2 rounded to single
// (±1.57079637050628662109375) and a NaN comes back unchanged. Made here rather than taken from
// the C library's mathematics, so that every platform gives the same bits and the program needs
// no mathematics library at all; `make exhaustive` compares it with a correctly rounded
// reference on every single.
float arctangent(float x);

}  // namespace zepa
