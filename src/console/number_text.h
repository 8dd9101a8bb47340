#pragma once

#include <string>

namespace zepa {

// Texts of the values that have no digits, chosen once for every platform.
inline constexpr const char* kInfinityText = "inf";
inline constexpr const char* kNegativeInfinityText = "-inf";
inline constexpr const char* kNanText = "nan";
inline constexpr const char* kNegativeNanText = "-nan";

// The number text of `value` with `digits` significant digits in the general ("%g") form:
// fixed notation for decimal exponents -4..digits-1, exponent notation (at least two exponent
// digits) otherwise; no trailing zeros, no final point. With `lead_blank`, a text that does not
// begin with "-" gets one blank in front. Empty when the text would exceed digits + 7 characters.
// Independent of the platform's printf and of the locale.
std::string format_number(double value, int digits, bool lead_blank);

// The text of a single, as every print shows it (7 digits, lead blank).
std::string single_text(float value);

// The same text written into `out`, which has room for kSingleTextRoom bytes: its length.
inline constexpr int kSingleTextRoom = 24;
int single_text_to(float value, char* out);

}  // namespace zepa
