#include "console/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "console/item_parser.h"
#include "support/number_format.h"

namespace zepa {
namespace {

struct SingleCase {
  float value;
  const char* text;
};

TEST(NumberText, Singles) {
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
  // clang-format off
  const SingleCase cases[] = {
      {0.0f, " 0"}, {-0.0f, "-0"}, {1.0f, " 1"}, {-1.0f, "-1"}, {5.0f, " 5"}, {0.5f, " 0.5"},
      {0.1f, " 0.1"}, {-0.1f, "-0.1"}, {1.0f / 3, " 0.3333333"}, {2.0f / 3, " 0.6666667"},
      {1.3f, " 1.3"}, {212.5f, " 212.5"}, {3.0f, " 3"}, {0.00012345678f, " 0.0001234568"},
      // Notation boundaries; the single below 0.0001 rounds up across the power of ten.
      {1234567.0f, " 1234567"}, {9999999.0f, " 9999999"}, {10000000.0f, " 1e+07"},
      {0.0001f, " 0.0001"}, {0.00001f, " 1e-05"}, {0.00009999999f, " 9.999999e-05"},
      {12345678.0f, " 1.234568e+07"}, {16777216.0f, " 1.677722e+07"},
      {99999995.0f, " 9.999999e+07"}, {1e20f, " 1e+20"}, {-1e-20f, "-1e-20"},
      {kMax, " 3.402823e+38"}, {std::numeric_limits<float>::denorm_min(), " 1.401298e-45"},
      {kInf, " inf"}, {-kInf, "-inf"}, {kNan, " nan"}, {-kNan, "-nan"},
      // Exact halfway cases go to the even digit; a round-up carries into the exponent.
      {12345675.0f, " 1.234568e+07"}, {12345665.0f, " 1.234566e+07"},
      {99999996.0f, " 1e+08"}, {0.000099999997f, " 0.0001"}, {1e30f, " 1e+30"},
      {1e-30f, " 1e-30"}, {-3.0e38f, "-3e+38"}};
  // clang-format on
  for (const SingleCase& c : cases) EXPECT_EQ(single_text(c.value).view(), c.text) << c.text;
}

TEST(NumberText, SinglesAtTheEnds) {
  // clang-format off
  const struct {
    std::uint32_t bits;
    const char* text;
  } cases[] = {
      {0x00000000, " 0"}, {0x80000000, "-0"}, {0x7F800000, " inf"}, {0xFF800000, "-inf"},
      // NaNs: the sign bit alone decides, whatever the payload.
      {0x7FC00000, " nan"}, {0xFFC00000, "-nan"}, {0x7F800001, " nan"}, {0xFFFFFFFF, "-nan"},
      // The largest single and its neighbour; the smallest normal and the largest subnormal.
      {0x7F7FFFFF, " 3.402823e+38"}, {0xFF7FFFFE, "-3.402823e+38"},
      {0x00800000, " 1.175494e-38"}, {0x807FFFFF, "-1.175494e-38"},
      // The smallest subnormals: 1, 2, 7 and 8 times 2^-149.
      {0x00000001, " 1.401298e-45"}, {0x80000002, "-2.802597e-45"},
      {0x00000007, " 9.809089e-45"}, {0x00000008, " 1.121039e-44"},
      // The single nearest 10^38, 10^37 and 10^-37 lies below it and rounds up across it.
      {0x7E967698, " 9.999999e+37"}, {0x7E967699, " 1e+38"}, {0xFCF0BDC2, "-1e+37"},
      {0x02081CE9, " 9.999999e-38"}, {0x02081CEA, " 1e-37"},
      // Around 10^-38, among the subnormals, and 10^-39.
      {0x006CE3EE, " 9.999999e-39"}, {0x006CE3EF, " 1e-38"}, {0x000AE398, " 1e-39"}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(single_text(std::bit_cast<float>(c.bits)).view(), c.text) << c.text;
  }
}

// The single widened to the reference's double. A NaN is given as the double NaN of its sign:
// RISC-V processors widen every NaN to a positive one.
double widened(float value) {
  if (!std::isnan(value)) return value;
  return std::copysign(std::numeric_limits<double>::quiet_NaN(), std::signbit(value) ? -1.0 : 1.0);
}

// The first pattern from `first` on (to `last`, every `step`th, both signs) whose text is not
// the general conversion's.
::testing::AssertionResult same_as_conversion(std::uint64_t first, std::uint64_t last,
                                              std::uint64_t step) {
  for (std::uint64_t bits = first; bits < last; bits += step) {
    for (const std::uint32_t sign : {0u, 0x80000000u}) {
      const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits) | sign);
      const std::string text(single_text(value).view());
      const std::string expected = format_number(widened(value), 7, true);
      if (text != expected) {
        char pattern[16];
        std::snprintf(pattern, sizeof pattern, "%08X", static_cast<std::uint32_t>(bits) | sign);
        return ::testing::AssertionFailure()
               << pattern << ": \"" << text << "\", not \"" << expected << "\"";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Every 16381st pattern of each sign: a cheap spread (262,000), as the tests also run under
// emulators; `make exhaustive` compares every single with the C library's "%.7g".
constexpr std::uint64_t kSampleStride = 16381;

// Every pattern where the big-integer arithmetic is at its limits or the text changes shape: the
// smallest subnormals, the subnormals and normals around the smallest normal (the widest
// products), the largest singles up to infinity and the NaNs, the hand-over from the 64-bit
// case at 2^24, and around every power of ten, where rounding may carry into the exponent and
// where the 64-bit case ends at 10^-5 and 10^7. A stride sample covers the rest.
TEST(NumberText, SinglesMatchTheGeneralConversion) {
  EXPECT_TRUE(same_as_conversion(0x00000000, 0x00010000, 1));
  EXPECT_TRUE(same_as_conversion(0x007F0000, 0x00810000, 1));
  EXPECT_TRUE(same_as_conversion(0x7F7F0000, 0x7F800100, 1));
  EXPECT_TRUE(same_as_conversion(0x7FFFFF00, 0x80000000, 1));
  EXPECT_TRUE(same_as_conversion(0x4B7FF000, 0x4B801000, 1));
  // 10^-45 .. 10^38 by products of doubles: near enough to the nearest singles for a
  // neighbourhood of 1024 patterns.
  double power = 1e-45;
  for (int n = -45; n <= 38; ++n, power *= 10) {
    const auto middle = std::bit_cast<std::uint32_t>(static_cast<float>(power));
    EXPECT_TRUE(same_as_conversion(middle < 512 ? 0 : middle - 512, middle + 512, 1)) << n;
  }
  EXPECT_TRUE(same_as_conversion(0, 0x80000000, kSampleStride));
}

TEST(NumberText, DoublesAndLengthBound) {
  struct Case {
    double value;
    int digits;
    bool lead_blank;
    const char* text;
  };
  // clang-format off
  const Case cases[] = {
      {0.1, 16, true, " 0.1"}, {0.1f, 16, true, " 0.1000000014901161"},
      {1.0 / 3, 16, true, " 0.3333333333333333"}, {1e16, 16, true, " 1e+16"},
      {1234567890123456.0, 16, true, " 1234567890123456"}, {2.5, 7, false, "2.5"},
      // Exactly digits + 7 characters, and more than the stack buffer holds.
      {-1.2345678901234567e-300, 16, true, "-1.234567890123457e-300"},
      {-1.2345678901234567e-300, 60, true,
       "-1.23456789012345675670158163370173162777343645221233195581753e-300"},
      // A negative precision converts as 6 digits, beyond the room of digits + 7 = 6.
      {1.0 / 3, -1, true, ""}, {5.0, -1, true, " 5"}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(format_number(c.value, c.digits, c.lead_blank), c.text) << c.text;
  }
}

// Every 16411th bit pattern: the shown text is the general conversion's, keeps the shape rules
// and lies within half a unit of its 7th digit; with 9 digits the text reads back to the same
// single.
TEST(NumberText, RoundTripOverSingles) {
  for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 16411) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    if (std::isnan(value)) continue;
    const std::string text(single_text(value).view());
    ASSERT_EQ(text, format_number(value, 7, true));
    ASSERT_LE(text.size(), 14u) << text;
    ASSERT_NE(text.back(), '.') << text;
    ASSERT_EQ(text[0] == ' ', !std::signbit(value)) << text;
    ASSERT_NE(text[1], ' ') << text;
    const double back = decimal_to_double(text);
    if (std::isinf(value)) {
      ASSERT_EQ(back, value);
    } else {
      ASSERT_LE(std::abs(back - value), 5.000001e-7 * std::abs(value)) << text;
    }
    const float exact = static_cast<float>(decimal_to_double(format_number(value, 9, true)));
    ASSERT_EQ(std::bit_cast<std::uint32_t>(exact), bits) << text;
  }
}

}  // namespace
}  // namespace zepa
