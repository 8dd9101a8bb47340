// The item parser from both of its sources, over arbitrary bytes. The first byte chooses the
// source (a console line's text, or redirected standard input) and the pattern of number and
// text items taken; the rest is the line or the input. Checks: every item ends, texts stay
// within 4096 bytes and hold no zero byte, the console source never reads past its text, and
// the decimal conversion agrees bit for bit with the C library's strtod in the C locale.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/item_parser.h"
#include "console/line_input.h"
#include "support/memory_process.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "item parser rule broken: %s\n", what);
  std::abort();
}

void same_as_strtod(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return;
  const std::string copy(text);
  const double expected = std::strtod(copy.c_str(), nullptr);
  const double actual = zepa::decimal_to_double(text);
  if (std::isnan(expected) && std::isnan(actual)) return;
  check(std::memcmp(&expected, &actual, sizeof expected) == 0, "decimal conversion != strtod");
}

void take_items(unsigned pattern, std::size_t bound) {
  // Every item consumes at least one byte, except at the end, where items are 0 or empty.
  for (std::size_t i = 0; i < bound; ++i) {
    if ((pattern >> (i % 8)) & 1) {
      std::string text = "old";
      zepa::input_text(text);
      check(text.size() <= zepa::kTextItemLimit, "text item over 4096 bytes");
      check(text.find('\0') == std::string::npos, "zero byte in a text item");
    } else {
      float value = 1;
      zepa::input_single(value);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned pattern = data[0];
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  same_as_strtod(body);

  zepa::testing::RedirectedPlatform platform;
  if (pattern & 0x80) {
    // A console line: only the first item is read by the program, but any number may be.
    zepa::InputLine& line = zepa::input_line();
    line.text = body;
    line.position = 0;
    line.source = zepa::LineSource::kText;
    take_items(pattern, body.size() + 2);
    check(line.position >= 0 && static_cast<std::size_t>(line.position) <= body.size(),
          "read position outside the text");
  } else {
    platform.process.input = body;
    platform.process.read_chunk = 1 + (pattern & 7);
    zepa::read_line("", zepa::QuestionMark::kYes, zepa::LineEndAfter::kYes);
    take_items(pattern, body.size() + 2);
    check(platform.process.input_position == body.size(), "standard input not read to its end");
  }
  return 0;
}
