#include "console/item_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "console/line_input.h"
#include "support/memory_process.h"

namespace zepa {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kInfD = std::numeric_limits<double>::infinity();

std::uint32_t bits(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

void type_line(std::string_view typed) {
  input_line() = InputLine{std::string(typed), 0, LineSource::kText};
}

TEST(ItemParser, NumbersTypedAtTheConsole) {
  struct Case {
    std::string typed;
    float value;
  };
  // clang-format off
  const Case cases[] = {
      // Separators, signs and stops.
      {"", 0}, {"3", 3}, {"   3   ", 3}, {"1,5", 1}, {"1.5", 1.5}, {"1 5", 1}, {".5", 0.5},
      {"-.5", -0.5}, {"+7", 7}, {"-", 0}, {"abc", 0}, {"12abc", 12}, {"1.5.3", 1.5},
      // Exponent letters; "d" only in number mode.
      {"1e3", 1000}, {"1d3", 1000}, {"1D-3", 0.001f}, {"1e", 1}, {"e5", 0},
      // Radix prefixes; after "&" the point is an ordinary byte.
      {"&H10", 16}, {"&h1f", 31}, {"&O17", 15}, {"&17", 15}, {"&B101", 5}, {"&", 0}, {"&Z9", 0},
      {"&H1.5", 1},
      // 9 bytes take the 32-bit form, 10 the 64-bit one; 64 bits wrap.
      {"&HFFFFFFF", 268435456.0f}, {"&HFFFFFFFF", 4294967296.0f}, {"&HFFFFFFFFFFFFFFFF", -1},
      {"&H8000000000000000", -9223372036854775808.0f}, {"&H10000000000000000", 0},
      {"4294967297", 4294967296.0f}, {"-2147483649", -2147483648.0f},
      // Only the decimal conversion keeps the sign of zero.
      {"-0", 0}, {"-0.0", -0.0f},
      // Ties to even on the integer and the decimal paths (19 bytes: decimal).
      {"16777217", 16777216}, {"16777219", 16777220}, {"999999999", 1e9f},
      {"1234567890123456789", 1234567890123456789.0f}, {"0.1", 0.1f}, {"2.0000001", 2},
      // Rounded first to the double 1 + 2^-24, a tie between singles.
      {"1.00000005960464478", 1}, {"1.000000178813934326171875", 1.0f + 0x1p-22f},
      // Range of the single.
      {"3.4028235e38", std::numeric_limits<float>::max()}, {"3.4028236e38", kInf},
      {"1e-45", std::numeric_limits<float>::denorm_min()}, {"7e-46", 0}, {"1e39", kInf},
      {"1e-50", 0}, {"-1e39", -kInf}, {"inf.", kInf}, {"inf", 0},
      // Hexadecimal needs a float mark ("d" becomes the digit "e").
      {"0x1.8p1", 3}, {"0x1d", 30}, {"0x12", 0},
      // Quotes only group; a quoted comma is stored and stops the conversion.
      {"\"12\"34", 1234}, {"\"1,5\"", 1}, {"\"  5\"", 5},
      // Cut at 67 bytes.
      {std::string(66, '0') + "7999", 7}};
  // clang-format on
  for (const Case& c : cases) {
    type_line(c.typed);
    float value = -99;
    input_single(value);
    EXPECT_EQ(bits(value), bits(c.value)) << c.typed;
  }
  type_line("nan.");
  float value = 0;
  input_single(value);
  EXPECT_TRUE(std::isnan(value));
}

// A number typed with a decimal comma, told from its neighbours, which read as before; only the
// line's first item counts, and redirected input is never looked at.
TEST(ItemParser, TypedDecimalComma) {
  // clang-format off
  const std::string refused[] = {
      "2,5", "-0,75", "+2,5", "1,5e3", "2,5 x", "0,0", "   2,5", "2,5abc",
      // No digit before the comma, as ".5" has none before the point.
      ",5", "-,5",
      // A point that groups thousands; in quotes, where the comma stops the conversion.
      "1.500,25", ".5,3", "\"2,5\"", "\" 2,5\""};
  const std::string taken[] = {
      "", ",", "1,", ",x", "1,x", "1, 5", "3 1", "12abc", "2.5", "3 2,5", "- 2,5", "a,5",
      // The quotes close before the comma; an exponent, a radix or text ends the number first.
      "\"2\",5", "\"\",5", "1e3,5", "&H1,5", "12abc,5", "0x1,5"};
  // clang-format on
  for (const std::string& line : refused) {
    type_line(line);
    EXPECT_TRUE(typed_decimal_comma()) << line;
  }
  for (const std::string& line : taken) {
    type_line(line);
    EXPECT_FALSE(typed_decimal_comma()) << line;
  }
  testing::RedirectedPlatform platform;
  platform.process.input = "2,5\n";
  read_line("", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_FALSE(typed_decimal_comma());
}

TEST(ItemParser, TextsTypedAtTheConsole) {
  // clang-format off
  const std::string cases[][2] = {
      {"c", "c"}, {"   c", "c"}, {"c ", "c "}, {"C,x", "C"}, {"x y", "x y"}, {"", ""},
      {"1d3", "1d3"}, {std::string(5000, 'a'), std::string(4096, 'a')},
      // A quote opens only as the first byte; the item ends at the closing quote.
      {"\"C\"", "C"}, {"\"C\"x", "C"}, {"a\"b", "a\"b"}, {"\" c \"", " c "}, {"\"a,b", "a,b"}};
  // clang-format on
  for (const auto& [typed, want] : cases) {
    type_line(typed);
    std::string text = "old";
    input_text(text);
    EXPECT_EQ(text, want) << typed;
  }
}

TEST(ItemParser, CharacterSourceAndPutBack) {
  // Text source: the position moves back, but not before the start nor for the end marker.
  type_line("ab");
  put_back_char('z');
  EXPECT_EQ(next_char(), 'a');
  put_back_char('a');
  EXPECT_EQ(next_char(), 'a');
  EXPECT_EQ(next_char(), 'b');
  EXPECT_EQ(next_char(), kEndMarker);
  put_back_char(kEndMarker);
  EXPECT_EQ(next_char(), kEndMarker);

  // Standard input: the last byte put back comes first; nothing is shown.
  testing::RedirectedPlatform platform;
  platform.process.input = "x\xE3";
  read_line("prompt", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(next_char(), 'x');
  put_back_char('x');
  put_back_char('q');
  put_back_char(kEndMarker);
  for (int want : {int{'q'}, int{'x'}, 0xE3, kEndMarker, kEndMarker}) EXPECT_EQ(next_char(), want);
  EXPECT_EQ(platform.process.output, "");
}

TEST(ItemParser, RedirectedInput) {
  struct Case {
    std::string input;
    std::vector<std::string> items;  // "#n" a number n, otherwise a text
  };
  const std::string zeros(66, '0');
  const std::string long_text(4096, 'a');
  // clang-format off
  const Case cases[] = {
      {"3\r\n1\r\n", {"#3", "#1", "#0"}}, {"3\n1\n", {"#3", "#1"}}, {"3 \t 1\n", {"#3", "#1"}},
      {"3,1\n", {"#3", "#1"}}, {"c\r\n", {"c", ""}}, {"  \nx\n", {"", "x"}}, {"", {"#0", ""}},
      // A carriage return alone ends the item.
      {"3\r1\n", {"#3", "#1"}}, {"a\rb", {"a", "b", ""}}, {"a\r\rb", {"a", "", "b"}},
      {"\"C\"  x\n", {"C", "x"}}, {"\"a\r\nb\"\n", {"a", "b\""}}, {"x\t y\n", {"x\t y"}},
      {std::string("a\0b\n", 4), {"a", ""}},  // cut at the zero byte
      // Limits: the byte after the last stored one begins the next item.
      {zeros + "7\n8\n", {"#7", "#8"}}, {zeros + "79 5\n", {"#7", "#9", "#5"}},
      {long_text + "bc\n", {long_text, "bc"}},
      // Whole lines taken from what standard input has delivered, and their neighbours that
      // need the byte rules: the limit reached exactly, a blank or quote, a radix, a "d".
      {zeros + "7\n" + zeros + "78\n", {"#7", "#7", "#8"}},
      {"1.5\n2e3\r\n-0.0\n", {"#1.5", "#2000", "#-0"}},
      {"12 \n7\n", {"#12", "#7"}}, {"&H10\n1d3\n\"1\"2\n", {"#16", "#1000", "#12"}},
      {"c \nc\n", {"c ", "c"}}, {"\xE3\xFF\n", {"\xE3\xFF"}},
      // A blank between a number and its line end, once a line has filled the buffer.
      {"1\n3 \n4\n", {"#1", "#3", "#4"}}};
  // clang-format on
  // Standard input delivering everything at once, then one byte per read: the same items.
  for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{1}})
    for (const Case& c : cases) {
      testing::RedirectedPlatform platform;
      platform.process.input = c.input;
      platform.process.read_chunk = chunk;
      for (const std::string& want : c.items) {
        read_line("", QuestionMark::kYes, LineEndAfter::kYes);
        if (want.starts_with("#")) {
          float value = -99;
          input_single(value);
          EXPECT_EQ(bits(value), bits(std::stof(want.substr(1)))) << c.input << " " << chunk;
        } else {
          std::string text = "old";
          input_text(text);
          EXPECT_EQ(text, want) << c.input << " " << chunk;
        }
      }
    }
}

// Number lines that the fast path takes whole from standard input's buffer give the value of
// the byte-by-byte rules, which a one-byte read forces: integers of 9 digits and 10, decimals
// of 15 digits and 16, points first and last, zeros, blanks, both line ends, signs.
TEST(ItemParser, BufferedNumberLinesAsTheByteRules) {
  // clang-format off
  std::vector<std::string> lines = {
      "999999999", "9999999999", "123456789012345", "1234567890123456", "1.23456789012345",
      "12345678901234.56", "0.000000000000001", ".5", "5.", "000000000000007", "  \t42", "-3",
      "+3", ".", "1..2", "16777217", "0.1", "340282356779733661"};
  // clang-format on
  std::mt19937 random(7);
  for (int n = 0; n < 3000; ++n) {
    std::string line(random() % 3, ' ');
    const int digits = 1 + static_cast<int>(random() % 17);
    const int point = static_cast<int>(random() % (digits + 2)) - 1;  // -1: none
    for (int d = 0; d < digits; ++d) {
      if (d == point) line += '.';
      line += static_cast<char>('0' + random() % 10);
    }
    if (point == digits) line += '.';
    lines.push_back(line);
  }
  std::string input;
  for (std::size_t n = 0; n < lines.size(); ++n) input += lines[n] + (n % 2 ? "\r\n" : "\n");
  std::vector<std::uint32_t> values[2];
  for (int pass = 0; pass < 2; ++pass) {
    testing::RedirectedPlatform platform;
    platform.process.input = input;
    platform.process.read_chunk = pass == 0 ? std::size_t{1} << 20 : 1;
    for (std::size_t n = 0; n < lines.size(); ++n) {
      read_line("", QuestionMark::kYes, LineEndAfter::kYes);
      float value = -99;
      input_single(value);
      values[pass].push_back(bits(value));
    }
  }
  for (std::size_t n = 0; n < lines.size(); ++n) {
    EXPECT_EQ(values[0][n], values[1][n]) << '"' << lines[n] << '"';
  }
}

TEST(ItemParser, IntegerConversionWraps) {
  EXPECT_EQ(integer_conversion("&HFFFFFFFF", 32), -1);
  EXPECT_EQ(integer_conversion("&HFFFFFFFF", 64), 4294967295);
  EXPECT_EQ(integer_conversion("-1", 32), -1);
  EXPECT_EQ(integer_conversion("  &b", 64), 0);
  EXPECT_EQ(integer_conversion("&H7fffffffffffffff1", 64), -15);
}

TEST(ItemParser, DecimalConversion) {
  struct Case {
    const char* text;
    double value;
  };
  // clang-format off
  const Case cases[] = {
      {" \t\n\v\f\r5", 5}, {"1.5e+3x", 1500}, {"INFINITY", kInfD}, {"-Inf", -kInfD},
      // No number: +0 whatever the sign.
      {"+-5", 0}, {"--5", 0}, {"", 0}, {".", 0}, {"in", 0}, {"-.e1", 0},
      // "0x" without a significand is 0 followed by the stop.
      {"0x", 0}, {"-0x", -0.0}, {"0x-1", 0}, {"0xinf", 0}, {"0X1P-2", 0.25}, {"0x.8", 0.5},
      // Out of the double's range, and a subnormal.
      {"-0x1p-1075", -0.0}, {"0x1.fffffffffffff8p1023", kInfD}, {"1e400", kInfD},
      {"-1e400", -kInfD}, {"1e-400", 0}, {"-1e-400", -0.0}, {"1e-99999999999999999999", 0},
      {"1e-310", 1e-310}};
  // clang-format on
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
