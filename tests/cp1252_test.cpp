#include "platform/cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace zepa {
namespace {

TEST(Cp1252, CellsOfEveryByteAndTypedCharactersBack) {
  // Control codes never reach a cell as themselves; the five undefined bytes show U+FFFD.
  EXPECT_EQ(cp1252_cell_char(0x00), U'\u2400');
  EXPECT_EQ(cp1252_cell_char(0x1F), U'\u241F');
  EXPECT_EQ(cp1252_cell_char(0x7F), U'\u2421');
  EXPECT_EQ(cp1252_cell_char(0x80), U'\u20AC');
  EXPECT_EQ(cp1252_cell_char(0x9F), U'\u0178');
  for (const unsigned char undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(cp1252_cell_char(undefined), U'\uFFFD') << int{undefined};
  }
  // Every printable byte, the 27 defined ones of 0x80..0x9F included, comes back when typed.
  int round_trips = 0;
  for (int byte = 0x20; byte <= 0xFF; ++byte) {
    const char32_t cell = cp1252_cell_char(static_cast<unsigned char>(byte));
    if (cell == U'\uFFFD' || byte == 0x7F) continue;
    EXPECT_EQ(cp1252_from_unicode(cell), byte) << byte;
    ++round_trips;
  }
  EXPECT_EQ(round_trips, 224 - 1 - 5);
  // Characters the code page lacks, and the C1 controls, give -1.
  EXPECT_EQ(cp1252_from_unicode(U'\u0100'), -1);
  EXPECT_EQ(cp1252_from_unicode(U'\u0085'), -1);
  EXPECT_EQ(cp1252_from_unicode(U'\uFFFD'), -1);
  EXPECT_EQ(cp1252_from_unicode(U'\U0001F600'), -1);
}

TEST(Cp1252, Utf8AtEachLengthBoundary) {
  struct Case {
    char32_t ch;
    std::string bytes;
  };
  const Case cases[] = {
      {U'\x7F', "\x7F"},
      {U'\u0080', "\xC2\x80"},
      {U'\u00E3', "\xC3\xA3"},
      {U'\u07FF', "\xDF\xBF"},
      {U'\u0800', "\xE0\xA0\x80"},
      {U'\u20AC', "\xE2\x82\xAC"},
      {U'\uFFFD', "\xEF\xBF\xBD"},
      {U'\U00010000', "\xF0\x90\x80\x80"},
      {U'\U0010FFFF', "\xF4\x8F\xBF\xBF"},
  };
  for (const Case& c : cases) {
    char out[4];
    const std::size_t n = encode_utf8(c.ch, out);
    EXPECT_EQ(std::string(out, n), c.bytes) << static_cast<unsigned>(c.ch);
  }
}

}  // namespace
}  // namespace zepa
