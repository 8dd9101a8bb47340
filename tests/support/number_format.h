#pragma once

#include <string>

namespace zepa {

// The reference that the tests and the fuzz targets check the program's single_text against:
// the number text of `value` with `digits` significant digits in the general ("%g") form, made
// by the C++ library's std::to_chars, which gives the same digits on every platform where
// printf's exponents and rounding vary. No final point; with `lead_blank`, a text that does not
// begin with "-" gets one blank in front. Infinities and NaNs take the program's words.
std::string format_number(double value, int digits, bool lead_blank);

}  // namespace zepa
