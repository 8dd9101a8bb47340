#pragma once

#include <cstddef>
#include <string_view>

namespace zepa {

// Texts of the values that have no digits, chosen once for every platform.
inline constexpr const char* kInfinityText = "inf";
inline constexpr const char* kNegativeInfinityText = "-inf";
inline constexpr const char* kNanText = "nan";
inline constexpr const char* kNegativeNanText = "-nan";

struct SingleText {
  // At most 13 bytes: the lead blank or "-", then "0.000" and 7 digits, or 7 digits, a point
  // and a 4-byte exponent.
  char bytes[13];
  int length;
  std::string_view view() const { return {bytes, static_cast<std::size_t>(length)}; }
};

// The number text of a single, as every print shows it and the memo records it: the general
// ("%.7g") form of its exact value with 7 significant digits, fixed notation for decimal
// exponents -4 to 6 and exponent notation ("e", a sign, two digits) otherwise, no trailing
// zeros and no final point; one blank in front unless it begins with "-". Made by exact integer
// arithmetic on the single's bits: the same bytes on every platform, whatever the locale.
SingleText single_text(float value);

}  // namespace zepa
