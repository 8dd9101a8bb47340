#pragma once

#include <string>

namespace zepa {

// The number text of `value` with `digits` significant digits in the general ("%g") form:
// fixed notation for decimal exponents -4..digits-1, exponent notation (at least two exponent
// digits) otherwise; no trailing zeros, no final point. With `lead_blank`, a text that does not
// begin with "-" gets one blank in front. Empty when the text would exceed digits + 7 characters.
// Independent of the platform's printf and of the locale.
//
// The reference that the tests and the fuzz targets check the program's single_text against:
// made by the C++ library's floating-point conversion (std::to_chars), which gives the same
// digits on every platform, where printf's exponents and rounding vary.
std::string format_number(double value, int digits, bool lead_blank);

}  // namespace zepa
