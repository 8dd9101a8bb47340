#pragma once

#include <cfloat>
#include <cstdint>

#include "console/decimal_digits.h"

namespace zepa {

// How a conversion ended: the value stored, no number at the start of the text, or a number
// beyond the largest double (kTooLarge) or not zero but rounding to zero (kTooSmall), which
// leave the value as it was.
enum class Conversion { kStored, kNoNumber, kTooLarge, kTooSmall };

// `ptr` is one past the last byte of the number, or the start of the text when no number
// begins it.
struct TextToDoubleResult {
  const char* ptr;
  Conversion end;
};

// The double nearest to the unsigned decimal number that begins [first, last), ties to even:
// digits with at most one point and at least one digit, then an optional exponent ('e' or 'E',
// an optional sign, at least one digit; without its digits the 'e' is not read). Any number of
// digits and any exponent. No sign, white space, "inf" or "nan": the caller takes those.
TextToDoubleResult decimal_text_to_double(const char* first, const char* last, double& value);

// The same for a hexadecimal significand (what follows "0x"): hexadecimal digits with at most
// one point and at least one digit, then an optional binary exponent: 'p' or 'P', one optional
// sign, at least one decimal digit. Without its digits the 'p' is not read: "1p+-3" is 1,
// ending at the 'p', as the C library's strtod reads it. Any exponent: beyond the double's range
// the result is out of range, whatever its size.
TextToDoubleResult hex_text_to_double(const char* first, const char* last, double& value);

// Whether double arithmetic rounds each operation once, to double: not so where the compiler
// keeps intermediate results in wider registers (x87 code, FLT_EVAL_METHOD 2).
inline constexpr bool kDoubleArithmeticRoundsOnce = FLT_EVAL_METHOD == 0;

// Clinger's fast path: when `digits` is at most 2^53 and |exponent| at most 19, both digits and
// 10^|exponent| are exact doubles, and the one multiplication or division of them is the
// correctly rounded digits × 10^exponent. Stores it and returns true then; false otherwise, and
// always where double arithmetic does not round once.
inline bool exact_decimal(std::uint64_t digits, std::int64_t exponent, double& value) {
  constexpr auto kLargest = static_cast<std::int64_t>(kPowersOfTenAsDoubles.size()) - 1;
  if (!kDoubleArithmeticRoundsOnce || digits > (std::uint64_t{1} << 53) || exponent < -kLargest ||
      exponent > kLargest) {
    return false;
  }
  value = static_cast<double>(digits);
  if (exponent < 0) {
    value /= kPowersOfTenAsDoubles[static_cast<std::size_t>(-exponent)];
  } else {
    value *= kPowersOfTenAsDoubles[static_cast<std::size_t>(exponent)];
  }
  return true;
}

}  // namespace zepa
