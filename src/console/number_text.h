#pragma once

#include <string>

namespace zepa {

// Texts of the values that have no digits, chosen once for every platform.
inline constexpr const char* kInfinityText = "inf";
inline constexpr const char* kNegativeInfinityText = "-inf";
inline constexpr const char* kNanText = "nan";
inline constexpr const char* kNegativeNanText = "-nan";

// The text of a single, as every print shows it (7 digits, lead blank).
std::string single_text(float value);

// The same text written into `out`, which has room for kSingleTextRoom bytes: its length.
inline constexpr int kSingleTextRoom = 24;
int single_text_to(float value, char* out);

}  // namespace zepa
