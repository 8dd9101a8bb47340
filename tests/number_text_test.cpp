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

float single(std::uint32_t bits) {
  return std::bit_cast<float>(bits);
}

TEST(NumberText, Singles) {
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    const char* text;
  } cases[] = {
      // clang-format off
      {0.0f, " 0"}, {-0.0f, "-0"}, {1.0f, " 1"}, {-1.0f, "-1"}, {5.0f, " 5"}, {0.5f, " 0.5"},
      {0.1f, " 0.1"}, {-0.1f, "-0.1"}, {1.0f / 3, " 0.3333333"}, {2.0f / 3, " 0.6666667"},
      {1.3f, " 1.3"}, {212.5f, " 212.5"}, {3.0f, " 3"}, {0.00012345678f, " 0.0001234568"},
      // Notation boundaries; the single below 0.0001 rounds up across the power of ten.
      {1234567.0f, " 1234567"}, {9999999.0f, " 9999999"}, {10000000.0f, " 1e+07"},
      {0.0001f, " 0.0001"}, {0.00001f, " 1e-05"}, {0.00009999999f, " 9.999999e-05"},
      {12345678.0f, " 1.234568e+07"}, {16777216.0f, " 1.677722e+07"},
      {99999995.0f, " 9.999999e+07"}, {1e20f, " 1e+20"}, {-1e-20f, "-1e-20"},
      {kMax, " 3.402823e+38"}, {std::numeric_limits<float>::denorm_min(), " 1.401298e-45"},
      {kInf, " inf"}, {-kInf, "-inf"},
      // Exact halfway cases go to the even digit; a round-up carries into the exponent.
      {12345675.0f, " 1.234568e+07"}, {12345665.0f, " 1.234566e+07"},
      {99999996.0f, " 1e+08"}, {0.000099999997f, " 0.0001"}, {1e30f, " 1e+30"},
      {1e-30f, " 1e-30"}, {-3.0e38f, "-3e+38"},
      // NaNs: the sign bit alone decides, whatever the payload.
      {single(0x7FC00000), " nan"}, {single(0xFFC00000), "-nan"}, {single(0x7F800001), " nan"},
      {single(0xFFFFFFFF), "-nan"},
      // The largest single and its neighbour; the smallest normal and the largest subnormal.
      {single(0x7F7FFFFF), " 3.402823e+38"}, {single(0xFF7FFFFE), "-3.402823e+38"},
      {single(0x00800000), " 1.175494e-38"}, {single(0x807FFFFF), "-1.175494e-38"},
      // The smallest subnormals: 1, 2, 7 and 8 times 2^-149.
      {single(0x00000001), " 1.401298e-45"}, {single(0x80000002), "-2.802597e-45"},
      {single(0x00000007), " 9.809089e-45"}, {single(0x00000008), " 1.121039e-44"},
      // The single nearest 10^38, 10^37 and 10^-37 lies below it and rounds up across it.
      {single(0x7E967698), " 9.999999e+37"}, {single(0x7E967699), " 1e+38"},
      {single(0xFCF0BDC2), "-1e+37"}, {single(0x02081CE9), " 9.999999e-38"},
      {single(0x02081CEA), " 1e-37"},
      // Around 10^-38, among the subnormals, and 10^-39.
      {single(0x006CE3EE), " 9.999999e-39"}, {single(0x006CE3EF), " 1e-38"},
      {single(0x000AE398), " 1e-39"},
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(single_text(c.value).view(), c.text) << c.text;
}

// The single widened to the reference's double. A NaN is given as the double NaN of its sign:
// RISC-V processors widen every NaN to a positive one.
double widened(float value) {
  if (!std::isnan(value)) return value;
  return std::copysign(std::numeric_limits<double>::quiet_NaN(), std::signbit(value) ? -1.0 : 1.0);
}

// The first pattern from `first` on (to `last`, every `step`th, both signs) whose text is not
// the general conversion's, or that breaks the text's own rules: at most 14 characters, no
// final point, one blank in front exactly when the sign bit is clear; with `read_back`, also
// within half a unit of its 7th digit, and 9 digits of the reference read back to the same
// single.
::testing::AssertionResult same_as_conversion(std::uint64_t first, std::uint64_t last,
                                              std::uint64_t step, bool read_back = false) {
  for (std::uint64_t bits = first; bits < last; bits += step) {
    for (const std::uint32_t sign : {0u, 0x80000000u}) {
      const float value = single(static_cast<std::uint32_t>(bits) | sign);
      const std::string text(single_text(value).view());
      bool ok = text == format_number(widened(value), 7, true) && text.size() <= 14 &&
                text.back() != '.' && (text[0] == ' ') == !std::signbit(value) && text[1] != ' ';
      if (ok && read_back && std::isfinite(value)) {
        const double back = decimal_to_double(text);
        const auto exact = static_cast<float>(decimal_to_double(format_number(value, 9, true)));
        ok = std::abs(back - value) <= 5.000001e-7 * std::abs(value) &&
             std::bit_cast<std::uint32_t>(exact) == std::bit_cast<std::uint32_t>(value);
      }
      if (!ok) {
        char pattern[16];
        std::snprintf(pattern, sizeof pattern, "%08X", static_cast<std::uint32_t>(bits) | sign);
        return ::testing::AssertionFailure() << pattern << ": \"" << text << "\"";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Every pattern where the big-integer arithmetic is at its limits or the text changes shape: the
// smallest subnormals, the subnormals and normals around the smallest normal (the widest
// products), the largest singles up to infinity and the NaNs, the hand-over from the 64-bit
// case at 2^24, and around every power of ten, where rounding may carry into the exponent and
// where the 64-bit case ends at 10^-5 and 10^7. Every 16381st pattern of each sign covers the
// rest, cheaply (the tests also run under emulators); `make exhaustive` compares every single
// with the C library's "%.7g".
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
  EXPECT_TRUE(same_as_conversion(0, 0x80000000, 16381, true));
}

}  // namespace
}  // namespace zepa
