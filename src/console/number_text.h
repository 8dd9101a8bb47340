#pragma once

#include <string>

namespace zepa {

// Texts of the values that have no digits, chosen once for every platform.
inline constexpr const char* kInfinityText = "inf";
inline constexpr const char* kNegativeInfinityText = "-inf";
inline constexpr const char* kNanText = "nan";
inline constexpr const char* kNegativeNanText = "-nan";

// The text of a single, as every print shows it: the general form with 7 significant digits
// and the lead blank, as format_number(value, 7, true) makes it, made here by integer
// arithmetic, without the floating-point conversion of the C++ library.
std::string single_text(float value);

// The same text written into `out`, which has room for kSingleTextRoom bytes: its length.
inline constexpr int kSingleTextRoom = 24;
int single_text_to(float value, char* out);

}  // namespace zepa
