#pragma once

#include <cstddef>
#include <string_view>

namespace zepa {

// Texts of the values that have no digits, chosen once for every platform.
inline constexpr const char* kInfinityText = "inf";
inline constexpr const char* kNegativeInfinityText = "-inf";
inline constexpr const char* kNanText = "nan";
inline constexpr const char* kNegativeNanText = "-nan";

// Room for a single's text: at most 14 characters and the lead blank, and the bytes past them
// that the digits are copied into 8 at a time.
inline constexpr int kSingleTextRoom = 24;

struct SingleText {
  char bytes[kSingleTextRoom];
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
