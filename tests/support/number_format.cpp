#include "support/number_format.h"

#include <charconv>
#include <cmath>

#include "console/number_text.h"

namespace zepa {

std::string format_number(double value, int digits, bool lead_blank) {
  std::string text;
  if (std::isinf(value)) {
    text = value < 0 ? kNegativeInfinityText : kInfinityText;
  } else if (std::isnan(value)) {
    text = std::signbit(value) ? kNegativeNanText : kNanText;
  } else {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    text.assign(buffer, result.ptr);
  }
  return lead_blank && text[0] != '-' ? " " + text : text;
}

}  // namespace zepa
