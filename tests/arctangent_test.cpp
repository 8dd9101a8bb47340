#include "calc/arctangent.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zepa {
namespace {

// The single nearest to the arctangent, from the extended-precision library function: its
// 64-bit significand leaves a rounding to single that is correct far beyond what is sampled.
float reference(float x) {
  return static_cast<float>(std::atan(static_cast<long double>(x)));
}

float rounded(float x) {
  return static_cast<float>(arctangent(static_cast<double>(x)));
}

std::uint32_t bits(float x) {
  return std::bit_cast<std::uint32_t>(x);
}

TEST(ArctangentTest, SpecialValuesKeepTheirSignAndPayload) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(std::bit_cast<std::uint64_t>(arctangent(0.0)), 0u);
  EXPECT_TRUE(std::signbit(arctangent(-0.0)));
  EXPECT_EQ(arctangent(-0.0), 0.0);
  EXPECT_EQ(static_cast<float>(arctangent(kInf)), 1.57079637050628662109375f);
  EXPECT_EQ(static_cast<float>(arctangent(-kInf)), -1.57079637050628662109375f);
  const double nan = std::bit_cast<double>(std::uint64_t{0xFFF8000000000123});
  EXPECT_EQ(std::bit_cast<std::uint64_t>(arctangent(nan)), 0xFFF8000000000123u);
  // The smallest subnormal and the largest single.
  const float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(bits(rounded(tiny)), bits(tiny));
  EXPECT_EQ(bits(rounded(std::numeric_limits<float>::max())), bits(1.57079637050628662109375f));
}

// Each edge between the reduction's ranges (odd sixteenths and their inverses, where the
// nearest eighth changes), and a few singles on either side of it.
TEST(ArctangentTest, NearestSingleAtTheReductionEdges) {
  for (int odd = 1; odd <= 17; odd += 2) {
    for (const float edge : {odd / 16.0f, 16.0f / odd}) {
      float x = edge;
      for (int i = 0; i < 8; ++i) x = std::nextafter(x, 0.0f);
      for (int i = 0; i < 16; ++i, x = std::nextafter(x, 100.0f)) {
        EXPECT_EQ(bits(rounded(x)), bits(reference(x))) << x;
        EXPECT_EQ(bits(rounded(-x)), bits(reference(-x))) << -x;
      }
    }
  }
}

// A stride through every single, both signs, subnormals and huge values included.
TEST(ArctangentTest, NearestSingleOnASweepOfBitPatterns) {
  int mismatches = 0;
  for (std::uint64_t b = 0; b < 0x100000000; b += 1021) {
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(b));
    if (std::isnan(x)) continue;
    if (bits(rounded(x)) != bits(reference(x)) && ++mismatches <= 5) {
      ADD_FAILURE() << std::hexfloat << x;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace zepa
