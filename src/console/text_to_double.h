#pragma once

#include <cstdint>

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

}  // namespace zepa
