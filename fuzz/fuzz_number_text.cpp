// The number text of any single (4 bytes of input, or the single nearest to a double of 8):
// the program's single_text compared with the C library's "%.7g" in the C locale and with the
// test reference format_number, and checked for its own rules: exactly one leading blank when
// the sign bit is clear, no final point or blank, at most 14 characters after the blank, and a
// text that the item parser reads back to a single with the very same text.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/item_parser.h"
#include "console/number_text.h"
#include "support/number_format.h"

namespace {

void check(bool ok, const char* what, const std::string& text, float value) {
  if (ok) return;
  std::fprintf(stderr, "number text rule broken: %s; text \"%s\" of %a\n", what, text.c_str(),
               static_cast<double>(value));
  std::abort();
}

// The C library's general conversion with the final point removed.
std::string library_text(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(value));
  std::string text = buffer;
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

void check_single(float value) {
  const std::string text(zepa::single_text(value).view());
  check(!text.empty(), "empty text", text, value);
  check(text.back() != '.', "final point", text, value);
  check(text.back() != ' ', "final blank", text, value);
  // A blank in front exactly when the sign bit is clear (negative zero and -nan get none).
  check((text[0] == ' ') == !std::signbit(value), "leading blank", text, value);
  check(text[0] != ' ' || text[1] != ' ', "two leading blanks", text, value);
  const std::string bare = text[0] == ' ' ? text.substr(1) : text;
  check(bare.size() <= 14, "too long", text, value);
  check(text == zepa::format_number(value, 7, true), "differs from format_number", text, value);
  if (!std::isfinite(value)) return;
  check(bare == library_text(value), "differs from %.7g", text, value);
  // Read back through the item parser: a text is a fixed point of reading and showing.
  const float back = zepa::number_item_value(text, true);
  check(zepa::single_text(back).view() == text, "does not read back", text, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 4 && size < 8) {
    float single;
    std::memcpy(&single, data, 4);
    check_single(single);
  } else if (size >= 8) {
    double value;
    std::memcpy(&value, data, 8);
    check_single(static_cast<float>(value));
  }
  return 0;
}
