#include "calc/segment.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "console/number_text.h"

namespace zepa {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Stands for the NaN of an invalid operation, x86's default one with its sign bit set, which
// the program gives on every processor (others give it the sign bit clear).
constexpr double kDefaultNan = std::numeric_limits<double>::quiet_NaN();

std::uint32_t bits(float result) {
  return std::bit_cast<std::uint32_t>(result);
}
// An expected value as a single's bits; a NaN stands for the default one (converted here by
// hand: RISC-V processors make every NaN positive when they convert it).
std::uint32_t expected_bits(double single) {
  return single != single ? 0xFFC00000u : bits(static_cast<float>(single));
}

// Results compared bit for bit: each expected decimal is the exact single, and its text.
TEST(SegmentTest, WorkedExamplesExactToTheBit) {
  struct Case {
    float c, f;
    double r, a, alfa;
    const char *r_text, *a_text, *alfa_text;
    bool accepted = true;  // by the sagitta test, f <= 2c
  };
  const Case cases[] = {
      // Wholly in double a would read " 3.217505" and Alfa " 53.12998": the single steps matter.
      {3, 1, 5, 3.2175056934356689453125, 36.86981201171875, " 5", " 3.217506", " 36.86981"},
      {4, 2, 5, 4.63647556304931640625, 53.129974365234375, " 5", " 4.636476", " 53.12997"},
      // f = c: d = 0, q = +inf, and 3.1416 > pi keeps Alfa below 90.
      {1, 1, 1, 1.57079637050628662109375, 89.99979400634765625, " 1", " 1.570796", " 89.99979"},
      {10, 2, 26, 10.26456928253173828125, 22.61981201171875, " 26", " 10.26457", " 22.61981"},
      {0.5f, 0.1f, 1.2999999523162841796875, 0.51322841644287109375, 22.61981201171875, " 1.3",
       " 0.5132284", " 22.61981"},
      // With s / 2 rounded to single before the division by f, r would be one unit above 0.5
      // (" 0.5000001").
      {0.4f, 0.2f, 0.5, 0.4636475741863250732421875, 53.129974365234375, " 0.5", " 0.4636476",
       " 53.12997"},
      {100, 25, 212.5, 104.115936279296875, 28.072422027587890625, " 212.5", " 104.1159",
       " 28.07242"},
      // More than a half circle: the half-angle goes beyond 90 degrees.
      {1, 1.5f, 1.08333337306976318359375, 2.129386425018310546875, 112.619598388671875,
       " 1.083333", " 2.129386", " 112.6196"},
      // f = 2c, the largest sagitta the test accepts; and beyond it, refused though the
      // segment exists.
      {1, 2, 1.25, 2.767871856689453125, 126.86960601806640625, " 1.25", " 2.767872", " 126.8696"},
      {1, 3, 1.66666662693023681640625, 4.16348552703857421875, 143.1297607421875, " 1.666667",
       " 4.163486", " 143.1298", false},
      // r rounds one unit below c, so d < 0 by a hair: just over a half circle.
      {6.7f, 6.7f, 6.699999332427978515625, 10.52433490753173828125, 89.99979400634765625,
       " 6.699999", " 10.52433", " 89.99979"},
      // r rounds one unit above c: d > 0 by a hair.
      {0.1f, 0.1f, 0.10000000894069671630859375, 0.15707962214946746826171875, 89.99977874755859375,
       " 0.1", " 0.1570796", " 89.99978"},
      {3, 3, 3, 4.7123889923095703125, 89.99979400634765625, " 3", " 4.712389", " 89.99979"},
      // Negative data keep the plain formulas.
      {1, -1, -1, -1.57079637050628662109375, 89.99979400634765625, "-1", "-1.570796", " 89.99979"},
      {-1, -3, -1.66666662693023681640625, 1.0725018978118896484375, -36.86981201171875,
       "-1.666667", " 1.072502", "-36.86981"},
      {0, -1, -0.5, -0.0, 0, "-0.5", "-0", " 0"},
      // The largest squares that stay finite, and beyond them an infinite radius and a NaN
      // arc (infinity times 0).
      {1e19f, 1, 49999998401428462325328130384586604544.0, 9999999980506447872.0,
       1.14591298946828800005802440065139080616063438355922698974609375E-17, " 5e+37", " 1e+19",
       " 1.145913e-17"},
      {1e20f, 1, kInf, kDefaultNan, 0, " inf", "-nan", " 0"},
      {1, 0, kInf, kDefaultNan, 0, " inf", "-nan", " 0"},
      // A sagitta typed as -0: r = -inf, and the signed zeros come through.
      {1, -0.0f, -kInf, kDefaultNan, -0.0, "-inf", "-nan", "-0"},
      // 0/0 in r: every result is the default NaN.
      {0, 0, kDefaultNan, kDefaultNan, kDefaultNan, "-nan", "-nan", "-nan"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << "c=" << k.c << " f=" << k.f);
    EXPECT_EQ(sagitta_accepted(k.c, k.f), k.accepted);
    const Segment s = compute_segment(k.c, k.f);
    EXPECT_EQ(bits(s.r), expected_bits(k.r));
    EXPECT_EQ(bits(s.a), expected_bits(k.a));
    EXPECT_EQ(bits(s.alfa), expected_bits(k.alfa));
    EXPECT_EQ(single_text(s.r).view(), k.r_text);
    EXPECT_EQ(single_text(s.a).view(), k.a_text);
    EXPECT_EQ(single_text(s.alfa).view(), k.alfa_text);
  }
}

}  // namespace
}  // namespace zepa
