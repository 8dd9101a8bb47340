#include "console/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace zepa {

std::string format_number(double value, int digits, bool lead_blank) {
  // The conversion may produce at most digits + 7 characters (its buffer of digits + 8 bytes
  // holds the terminating zero too); a longer text is not shown at all.
  const int room = digits + 7;
  char buffer[64];
  char* text = buffer + 1;
  int length = 0;
  if (std::isinf(value) || std::isnan(value)) {
    const char* word = std::isinf(value) ? (value < 0 ? kNegativeInfinityText : kInfinityText)
                                         : (std::signbit(value) ? kNegativeNanText : kNanText);
    length = static_cast<int>(std::strlen(word));
    std::memcpy(text, word, length);
  } else {
    // std::to_chars with a precision is the exact "%.*g" of the C locale on every platform.
    auto [end, error] = std::to_chars(text, buffer + sizeof buffer, value,
                                      std::chars_format::general, digits);
    if (error != std::errc()) return {};
    length = static_cast<int>(end - text);
  }
  if (length <= 0 || length > room) return {};
  if (text[length - 1] == '.') --length;
  if (lead_blank && text[0] != '-') {
    *--text = ' ';
    ++length;
  }
  return std::string(text, length);
}

}  // namespace zepa
