#include "calc/arctangent.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zepa {
namespace {

std::uint32_t bits(float x) {
  return std::bit_cast<std::uint32_t>(x);
}

// The single nearest to atan(x), from the C library's long double arctangent where every
// number within 2^23 units of its last place rounds to one single (its error is far smaller);
// false where the arctangent lies nearer than that to a boundary between singles. Those are
// few (a long double of 64 bits leaves about 1 in 65,000), the hardest are below, and
// `make exhaustive` decides them all with MPFR.
bool reference(float x, float& nearest) {
  const long double estimate = std::atan(static_cast<long double>(x));
  const long double margin = std::fabs(estimate) * (LDBL_EPSILON * 0x1p23L);
  nearest = static_cast<float>(estimate - margin);
  return nearest == static_cast<float>(estimate + margin);
}

TEST(ArctangentTest, SpecialValuesKeepTheirSignAndPayload) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(bits(arctangent(0.0f)), 0u);
  EXPECT_EQ(bits(arctangent(-0.0f)), 0x80000000u);
  EXPECT_EQ(arctangent(kInf), 1.57079637050628662109375f);
  EXPECT_EQ(arctangent(-kInf), -1.57079637050628662109375f);
  const float nan = std::bit_cast<float>(std::uint32_t{0xFFC00123});
  EXPECT_EQ(bits(arctangent(nan)), 0xFFC00123u);
  // The smallest subnormal and the largest single.
  const float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(bits(arctangent(tiny)), bits(tiny));
  EXPECT_EQ(bits(arctangent(std::numeric_limits<float>::max())), bits(1.57079637050628662109375f));
}

// The singles whose arctangent lies nearest to a boundary between two singles (found with
// MPFR over every single), nearest first: the first is 2.5e-10 of a unit above the midpoint,
// where a double result rounded to single goes to the even neighbour instead.
TEST(ArctangentTest, NearestSingleAtTheHardestPoints) {
  const struct {
    float x;
    float nearest;
  } cases[] = {
      {0x1.1ad646p-4f, 0x1.1a6386p-4f},   {0x1.ac6ff4p-10f, 0x1.ac6fdcp-10f},
      {0x1.f83792p-9f, 0x1.f836fp-9f},    {0x1.e00a3p+25f, 0x1.921fb6p+0f},
      {0x1.6afe3ap+1f, 0x1.3b5652p+0f},   {0x1.e00a2ep+25f, 0x1.921fb4p+0f},
      {0x1.4f7476p-11f, 0x1.4f7474p-11f}, {0x1.588696p-10f, 0x1.588688p-10f},
      {0x1.c0db62p-2f, 0x1.a70702p-2f},   {0x1.721ee4p+18f, 0x1.921f88p+0f},
      {0x1.46cf46p+21f, 0x1.921faep+0f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bits(arctangent(c.x)), bits(c.nearest)) << std::hexfloat << c.x;
    EXPECT_EQ(bits(arctangent(-c.x)), bits(-c.nearest)) << std::hexfloat << -c.x;
  }
}

// Each edge between the reduction's ranges (odd sixteenths and their inverses, where the
// nearest eighth changes), and a few singles on either side of it.
TEST(ArctangentTest, NearestSingleAtTheReductionEdges) {
  for (int odd = 1; odd <= 17; odd += 2) {
    for (const float edge : {odd / 16.0f, 16.0f / odd}) {
      float x = edge;
      for (int i = 0; i < 8; ++i) x = std::nextafter(x, 0.0f);
      for (int i = 0; i < 16; ++i, x = std::nextafter(x, 100.0f)) {
        float nearest = 0;
        if (!reference(x, nearest)) continue;
        EXPECT_EQ(bits(arctangent(x)), bits(nearest)) << std::hexfloat << x;
        EXPECT_EQ(bits(arctangent(-x)), bits(-nearest)) << std::hexfloat << -x;
      }
    }
  }
}

// A cheap spread over every binade, both signs, subnormals and huge values included.
TEST(ArctangentTest, NearestSingleOnASpreadOfBitPatterns) {
  int mismatches = 0;
  int decided = 0;
  for (std::uint64_t b = 0; b < 0x100000000; b += 16411) {
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(b));
    float nearest = 0;
    if (std::isnan(x) || !reference(x, nearest)) continue;
    ++decided;
    if (bits(arctangent(x)) != bits(nearest) && ++mismatches <= 5) {
      ADD_FAILURE() << std::hexfloat << x;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(decided, 200000);  // fewer where long double is double
}

}  // namespace
}  // namespace zepa
