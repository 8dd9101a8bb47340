#include "support/number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "console/number_text.h"

namespace zepa {

std::string format_number(double value, int digits, bool lead_blank) {
  // The conversion may produce at most digits + 7 characters (its buffer of digits + 8 bytes
  // holds the terminating zero too); a longer text is not shown at all.
  const int room = digits + 7;
  // The general form never takes more than digits + 7 characters; beyond what the stack buffer
  // holds (more digits than any print asks for) the text is made on the heap.
  char stack_buffer[64];
  std::string heap_buffer;
  char* buffer = stack_buffer;
  std::size_t size = sizeof stack_buffer;
  if (digits > 0 && static_cast<std::size_t>(digits) + 9 > size) {
    heap_buffer.resize(static_cast<std::size_t>(digits) + 9);
    buffer = heap_buffer.data();
    size = heap_buffer.size();
  }
  char* text = buffer + 1;
  int length = 0;
  if (std::isinf(value) || std::isnan(value)) {
    const char* word = std::isinf(value) ? (value < 0 ? kNegativeInfinityText : kInfinityText)
                                         : (std::signbit(value) ? kNegativeNanText : kNanText);
    length = static_cast<int>(std::strlen(word));
    std::memcpy(text, word, length);
  } else {
    // std::to_chars with a precision is the exact "%.*g" of the C locale on every platform.
    auto [end, error] =
        std::to_chars(text, buffer + size, value, std::chars_format::general, digits);
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
