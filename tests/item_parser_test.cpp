#include "console/item_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "console/line_input.h"
#include "support/memory_process.h"

namespace zepa {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

std::uint32_t bits(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

void type_line(std::string_view typed) {
  input_line() = InputLine{std::string(typed), 0, LineSource::kText};
}

float typed_single(std::string_view typed) {
  type_line(typed);
  float value = -99;
  input_single(value);
  return value;
}

std::string typed_text(std::string_view typed) {
  type_line(typed);
  std::string text = "old";
  input_text(text);
  return text;
}

TEST(ItemParser, NumbersTypedAtTheConsole) {
  struct Case {
    std::string typed;
    float value;
  };
  const Case cases[] = {
      {"", 0},
      {"3", 3},
      {"   3   ", 3},
      {"1,5", 1},  // the comma ends the item
      {"1.5", 1.5},
      {"1 5", 1},
      {".5", 0.5},
      {"-.5", -0.5},
      {"+7", 7},
      {"-", 0},
      {"abc", 0},
      {"12abc", 12},
      {"1e3", 1000},
      {"1d3", 1000},
      {"1D-3", 0.001f},
      {"1e", 1},
      {"e5", 0},
      {"&H10", 16},
      {"&h1f", 31},
      {"&O17", 15},
      {"&17", 15},
      {"&B101", 5},
      {"&", 0},
      {"&Z9", 0},
      {"&H1.5", 1},                   // after "&" the point is no decimal point
      {"&HFFFFFFF", 268435456.0f},    // 9 bytes, 32-bit form: 2^28 - 1 rounds up
      {"&HFFFFFFFF", 4294967296.0f},  // 10 bytes, 64-bit form: 2^32 - 1 rounds up
      {"&HFFFFFFFFFFFFFFFF", -1},     // wraps to -1
      {"&H8000000000000000", -9223372036854775808.0f},
      {"&H10000000000000000", 0},  // 2^64 wraps to 0
      {"-0", 0},                   // integer zero has no sign (checked by bits)
      {"-0.0", -0.0f},
      {"16777217", 16777216},  // tie to even, down
      {"16777219", 16777220},  // tie to even, up
      {"999999999", 1e9f},
      {"4294967297", 4294967296.0f},  // 64-bit form
      {"-2147483649", -2147483648.0f},
      {"1234567890123456789", 1234567890123456789.0f},  // 19 bytes: decimal conversion
      {"0.1", 0.1f},
      {"2.0000001", 2},
      // The nearest double is 1 + 2^-24, halfway between two singles: it goes to the even one.
      {"1.00000005960464478", 1},
      {"1.000000178813934326171875", 1.0f + 0x1p-22f},  // 1 + 3 * 2^-24 ties up to even
      {"3.4028235e38", std::numeric_limits<float>::max()},
      {"3.4028236e38", kInf},  // above the halfway point to 2^128
      {"1e-45", std::numeric_limits<float>::denorm_min()},
      {"7e-46", 0},  // below half the smallest subnormal
      {"1e39", kInf},
      {"1e-50", 0},
      {"-1e39", -kInf},
      {"inf.", kInf},
      {"inf", 0},  // no float mark: the integer conversion
      {"1.5.3", 1.5},
      {"0x1.8p1", 3},                      // hexadecimal significand, reached through the point
      {"0x1d", 30},                        // "d" is stored as "e", a hexadecimal digit
      {"0x12", 0},                         // no float mark: the integer conversion stops at the "x"
      {"\"12\"34", 1234},                  // quotes only group
      {"\"1,5\"", 1},                      // the comma is stored, and the conversion stops at it
      {"\"  5\"", 5},                      // quoted leading blanks are skipped by the conversion
      {std::string(66, '0') + "7999", 7},  // cut at 67 bytes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bits(typed_single(c.typed)), bits(c.value)) << c.typed;
  }
  EXPECT_TRUE(std::isnan(typed_single("nan.")));
}

TEST(ItemParser, TextsTypedAtTheConsole) {
  struct Case {
    std::string typed;
    std::string text;
  };
  const Case cases[] = {
      {"c", "c"},
      {"   c", "c"},
      {"c ", "c "},  // trailing blanks stay
      {"C,x", "C"},
      {"x y", "x y"},
      {"", ""},
      {"\"C\"", "C"},
      {"\"C\"x", "C"},  // the item ends at the closing quote
      {"a\"b", "a\"b"},
      {"\" c \"", " c "},
      {"\"a,b", "a,b"},  // no closing quote
      {"1d3", "1d3"},    // no exponent letter change in text mode
      {std::string(5000, 'a'), std::string(4096, 'a')},
  };
  for (const Case& c : cases) EXPECT_EQ(typed_text(c.typed), c.text) << c.typed;
}

TEST(ItemParser, CharacterSourceAndPutBack) {
  // Text source: the position moves back, but not before the start.
  type_line("ab");
  put_back_char('z');
  EXPECT_EQ(next_char(), 'a');
  put_back_char('a');
  EXPECT_EQ(next_char(), 'a');
  EXPECT_EQ(next_char(), 'b');
  EXPECT_EQ(next_char(), kEndMarker);
  put_back_char(kEndMarker);
  EXPECT_EQ(next_char(), kEndMarker);

  // Standard input: the last byte put back comes first; the end marker is never stored.
  testing::RedirectedPlatform platform;
  platform.process.input = std::string("x\xE3", 2);
  read_line("prompt", true, true);
  EXPECT_EQ(next_char(), 'x');
  put_back_char('x');
  put_back_char('q');
  EXPECT_EQ(next_char(), 'q');
  EXPECT_EQ(next_char(), 'x');
  EXPECT_EQ(next_char(), 0xE3);
  EXPECT_EQ(next_char(), kEndMarker);
  put_back_char(kEndMarker);
  EXPECT_EQ(next_char(), kEndMarker);
  EXPECT_EQ(platform.process.output, "");  // no prompt for redirected input
}

struct Item {
  bool number;
  float value;
  std::string text;
};
Item N(float value) {
  return {true, value, ""};
}
Item T(std::string text) {
  return {false, 0, std::move(text)};
}

TEST(ItemParser, RedirectedInput) {
  struct Case {
    std::string input;
    std::vector<Item> items;
  };
  const std::string zeros(66, '0');
  const Case cases[] = {
      {"3\r\n1\r\n", {N(3), N(1), N(0)}},  // then input is exhausted
      {"3\n1\n", {N(3), N(1)}},
      {"3 1\n", {N(3), N(1)}},  // the second item comes from the same line
      {"3 \t 1\n", {N(3), N(1)}},
      {"3,1\n", {N(3), N(1)}},
      {"3\r1\n", {N(3), N(1)}},  // a carriage return alone ends the item
      {"c\r\n", {T("c"), T("")}},
      {"a\rb", {T("a"), T("b"), T("")}},
      {"  \nx\n", {T(""), T("x")}},  // a blank line gives the empty text
      {"\"C\"  x\n", {T("C"), T("x")}},
      {"\"a\r\nb\"\n", {T("a"), T("b\"")}},  // a line end closes a quote
      {"x\t y\n", {T("x\t y")}},
      {std::string("a\0b\n", 4), {T("a"), T("")}},  // cut at the zero byte
      {zeros + "7\n8\n", {N(7), N(8)}},             // 67 bytes, then the line end
      {zeros + "79 5\n", {N(7), N(9), N(5)}},       // the 68th byte begins the next item
      {std::string(4096, 'a') + "bc\n", {T(std::string(4096, 'a')), T("bc")}},
      {"", {N(0), T("")}},
  };
  for (const Case& c : cases) {
    testing::RedirectedPlatform platform;
    platform.process.input = c.input;
    for (std::size_t i = 0; i < c.items.size(); ++i) {
      read_line("", true, true);
      const Item& want = c.items[i];
      if (want.number) {
        float value = -99;
        input_single(value);
        EXPECT_EQ(bits(value), bits(want.value)) << c.input << " item " << i;
      } else {
        std::string text = "old";
        input_text(text);
        EXPECT_EQ(text, want.text) << c.input << " item " << i;
      }
    }
  }
}

TEST(ItemParser, DecimalConversion) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {" \t\n\v\f\r5", 5},
      {"+-5", 0},  // one sign only
      {"--5", 0},  // no number: +0 whatever the sign
      {"-0x", -0.0},
      {"-.e1", 0},
      {"", 0},
      {".", 0},
      {"in", 0},
      {"1.5e+3x", 1500},
      {"0x", 0},  // 0, stopped at the "x"
      {"0x-1", 0},
      {"0xinf", 0},
      {"0X1P-2", 0.25},
      {"0x.8", 0.5},
      {"-0x1p-1075", -0.0},  // halfway below the smallest subnormal: even, zero
      {"0x1.fffffffffffff8p1023", std::numeric_limits<double>::infinity()},
      {"1e400", std::numeric_limits<double>::infinity()},
      {"-1e400", -std::numeric_limits<double>::infinity()},
      {"1e-400", 0},
      {"-1e-400", -0.0},
      {"0.0001e-99999999999999999999", 0},
      {"1e-310", 1e-310},  // subnormal
      {"INFINITY", std::numeric_limits<double>::infinity()},
      {"-Inf", -std::numeric_limits<double>::infinity()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(decimal_to_double(c.text)),
              std::bit_cast<std::uint64_t>(c.value))
        << c.text;
  }
  EXPECT_TRUE(std::isnan(decimal_to_double("nAn")));
  EXPECT_TRUE(std::signbit(decimal_to_double("-NaN")));
}

}  // namespace
}  // namespace zepa
