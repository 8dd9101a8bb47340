// Included before every source of the WebAssembly build only. The C++ library that Emscripten
// 3.1 ships lacks two C++20 pieces the sources use: std::bit_cast, and std::to_chars with a
// precision for floating point (for format_number, which the calculator does not call). These
// give them over the compiler's builtin and the C library's snprintf, which is exact there
// (musl), in the "C" locale the page always runs in. The page's test compares the results with
// the native program's on thousands of cases.
#pragma once

#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace std {

template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}

// The "%.*g" text; out of room, value_too_large as to_chars says it.
inline to_chars_result to_chars(char* first, char* last, double value, chars_format,
                                int precision) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%.*g", precision, value);
  if (n < 0 || n >= static_cast<int>(sizeof text) || n > last - first) {
    return {last, errc::value_too_large};
  }
  std::memcpy(first, text, static_cast<std::size_t>(n));
  return {first + n, errc{}};
}

}  // namespace std
