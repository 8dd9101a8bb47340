// The number text of any single (4 bytes of input) or double (8 bytes): compared with the C
// library's "%.7g" / "%.16g" in the C locale, and checked for its own rules: exactly one
// leading blank when the value is not negative, no final point, at most 14 (single) or 23
// (double) characters of conversion, and, for a single, a text that the item parser reads back
// to a single with the very same text.
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

void check(bool ok, const char* what, const std::string& text, double value) {
  if (ok) return;
  std::fprintf(stderr, "number text rule broken: %s; text \"%s\" of %a\n", what, text.c_str(),
               value);
  std::abort();
}

// The C library's general conversion with the final point removed.
std::string library_text(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  std::string text = buffer;
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

void check_value(double value, int digits) {
  const std::string text = zepa::format_number(value, digits, true);
  const std::string bare = zepa::format_number(value, digits, false);
  check(!text.empty(), "empty text", text, value);
  check(text.back() != '.', "final point", text, value);
  check(text.back() != ' ', "final blank", text, value);
  // A blank in front exactly when the sign bit is clear (negative zero and -nan get none).
  check((text[0] == ' ') == !std::signbit(value), "leading blank", text, value);
  check(text[0] != ' ' || text[1] != ' ', "two leading blanks", text, value);
  check(text == (text[0] == ' ' ? " " + bare : bare), "lead blank adds one blank", text, value);
  check(static_cast<int>(bare.size()) <= digits + 7, "too long", text, value);
  if (!std::isfinite(value)) return;
  check(bare == library_text(value, digits), "differs from %g", text, value);
  if (digits != 7) return;
  // Read back through the item parser: a text is a fixed point of reading and showing.
  const float back = zepa::number_item_value(text, true);
  check(zepa::format_number(back, 7, true) == text, "does not read back", text, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 4 && size < 8) {
    float single;
    std::memcpy(&single, data, 4);
    check_value(single, 7);
  } else if (size >= 8) {
    double value;
    std::memcpy(&value, data, 8);
    check_value(value, 16);
    check_value(static_cast<float>(value), 7);
  }
  return 0;
}
