#pragma once

#include <system_error>

namespace zepa {

// How a conversion ended. `ptr` is one past the last byte of the number, or the start of the
// text when no number begins it. `ec` is std::errc{} when the value was stored,
// invalid_argument when no number begins the text, and result_out_of_range when the number
// lies beyond the largest double or is not zero but rounds to zero; the value is then left as
// it was, and `overflow` tells which of the two it is.
struct TextToDoubleResult {
  const char* ptr;
  std::errc ec;
  bool overflow;
};

// The double nearest to the unsigned decimal number that begins [first, last), ties to even:
// digits with at most one point and at least one digit, then an optional exponent ('e' or 'E',
// an optional sign, at least one digit; without its digits the 'e' is not read). Any number of
// digits and any exponent. The same value, end and error as std::from_chars in the general
// format, without its sign, "inf" and "nan" (the caller takes those).
TextToDoubleResult decimal_text_to_double(const char* first, const char* last, double& value);

// The same for a hexadecimal significand (what follows "0x"): hexadecimal digits with at most
// one point, then an optional binary exponent ('p' or 'P', an optional '+', then a decimal int
// as std::from_chars reads one, so with its own optional '-'). The same value, end and error as
// std::from_chars in the hex format, without its sign, "inf" and "nan", but for exponents that
// bring its int arithmetic to 2^31 (about 2^31 - 1024): there it wraps and returns a subnormal
// or zero; here such a number is beyond the largest double.
TextToDoubleResult hex_text_to_double(const char* first, const char* last, double& value);

}  // namespace zepa
