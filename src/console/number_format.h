#pragma once

#include <string>

namespace zepa {

// The number text of `value` with `digits` significant digits in the general ("%g") form:
// fixed notation for decimal exponents -4..digits-1, exponent notation (at least two exponent
// digits) otherwise; no trailing zeros, no final point. With `lead_blank`, a text that does not
// begin with "-" gets one blank in front. Empty when the text would exceed digits + 7 characters.
// Independent of the platform's printf and of the locale.
//
// Made by the C++ library's floating-point conversion, which brings large tables with it. The
// program shows only singles, whose texts single_text makes without it, and never calls this:
// in a file of its own it stays out of the program. The tests and the fuzz targets check
// single_text against it.
std::string format_number(double value, int digits, bool lead_blank);

}  // namespace zepa
