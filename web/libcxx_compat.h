// Included before every source of the WebAssembly build only. The C++ library that Emscripten
// 3.1 ships lacks three C++20 pieces the program uses: std::bit_cast, and std::from_chars and
// std::to_chars with a precision for floating point. These give them over the compiler's
// builtin and the C library's strtod and snprintf, which are exact there (musl), in the "C"
// locale the page always runs in. The page's test compares the results with the native
// program's on thousands of cases.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

// Keeps what the item parser relies on: no white space, no "+" and no "0x" taken, hexadecimal
// significands without their prefix, and result_out_of_range (value untouched) for an
// overflow or an underflow to zero.

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format format) {
  const bool hex = format == chars_format::hex;
  // strtod reads only what it knows: a copy limited to the characters a number may hold, so
  // that it never looks past `last`.
  std::string text = hex ? "0x" : "";
  const std::size_t prefix = text.size();
  bool digits = false;
  for (const char* p = first; p != last; ++p) {
    const char c = *p;
    const bool digit = (c >= '0' && c <= '9') ||
                       (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    digits = digits || digit;
    if (!digit && c != '.' && c != 'e' && c != 'E' && c != 'p' && c != 'P' && c != '+' &&
        c != '-') {
      break;
    }
    text += c;
  }
  const char c0 = first == last ? '\0' : *first;
  const bool starts_number = c0 == '.' || (c0 >= '0' && c0 <= '9') ||
                             (hex && ((c0 >= 'a' && c0 <= 'f') || (c0 >= 'A' && c0 <= 'F')));
  if (!starts_number || !digits) return {first, errc::invalid_argument};
  char* stop = nullptr;
  errno = 0;
  const double result = std::strtod(text.c_str(), &stop);
  const std::size_t used = static_cast<std::size_t>(stop - text.c_str());
  if (used <= prefix) return {first, errc::invalid_argument};
  const char* end = first + (used - prefix);
  // Underflow to a zero from nonzero digits, or overflow: out of range, as from_chars says it.
  bool nonzero_digit = false;
  for (const char* p = first; p != end && !nonzero_digit; ++p) {
    if (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P') break;
    nonzero_digit = (*p >= '1' && *p <= '9') || (hex && std::isxdigit(static_cast<unsigned char>(*p)) && *p > '9');
  }
  if (std::isinf(result) || (result == 0 && nonzero_digit)) return {end, errc::result_out_of_range};
  value = result;
  return {end, errc{}};
}

}  // namespace std
