#include "calc/segment.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "console/number_text.h"

namespace zepa {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Case {
  float c, f;
  double r, a, alfa;  // exact values of the single results
  const char *r_text, *a_text, *alfa_text;
};

// Results compared as exact values: each expected decimal is the exact single.
TEST(SegmentTest, WorkedExamplesExactToTheBit) {
  const Case cases[] = {
      {3, 1, 5, 3.2175056934356689453125, 36.86981201171875, " 5", " 3.217506", " 36.86981"},
      {4, 2, 5, 4.63647556304931640625, 53.129974365234375, " 5", " 4.636476", " 53.12997"},
      // f = c: d = 0, q = +inf, and 3.1416 > pi keeps Alfa below 90.
      {1, 1, 1, 1.57079637050628662109375, 89.99979400634765625, " 1", " 1.570796", " 89.99979"},
      {10, 2, 26, 10.26456928253173828125, 22.61981201171875, " 26", " 10.26457", " 22.61981"},
      {0.5f, 0.1f, 1.2999999523162841796875, 0.51322841644287109375, 22.61981201171875, " 1.3",
       " 0.5132284", " 22.61981"},
      {100, 25, 212.5, 104.115936279296875, 28.072422027587890625, " 212.5", " 104.1159",
       " 28.07242"},
      // More than a half circle: the half-angle goes beyond 90 degrees.
      {1, 1.5f, 1.08333337306976318359375, 2.129386425018310546875, 112.619598388671875,
       " 1.083333", " 2.129386", " 112.6196"},
      {1, 2, 1.25, 2.767871856689453125, 126.86960601806640625, " 1.25", " 2.767872",
       " 126.8696"},
      // r rounds one unit below c, so d < 0 by a hair: just over a half circle.
      {6.7f, 6.7f, 6.699999332427978515625, 10.52433490753173828125, 89.99979400634765625,
       " 6.699999", " 10.52433", " 89.99979"},
      // r rounds one unit above c: d > 0 by a hair.
      {0.1f, 0.1f, 0.10000000894069671630859375, 0.15707962214946746826171875, 89.99977874755859375,
       " 0.1", " 0.1570796", " 89.99978"},
      {3, 3, 3, 4.7123889923095703125, 89.99979400634765625, " 3", " 4.712389", " 89.99979"},
      // Negative data keep the plain formulas.
      {1, -1, -1, -1.57079637050628662109375, 89.99979400634765625, "-1", "-1.570796",
       " 89.99979"},
      {-1, -3, -1.66666662693023681640625, 1.0725018978118896484375, -36.86981201171875,
       "-1.666667", " 1.072502", "-36.86981"},
      {0, -1, -0.5, -0.0, 0, "-0.5", "-0", " 0"},
      // Squares beyond the single range give an infinite radius and a NaN arc.
      {1e20f, 1, kInf, NAN, 0, " inf", "-nan", " 0"},
      {1, 0, kInf, NAN, 0, " inf", "-nan", " 0"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "c=" << k.c << " f=" << k.f);
    const Segment s = compute_segment(k.c, k.f);
    EXPECT_EQ(static_cast<double>(s.r), k.r);
    if (std::isnan(k.a)) {
      EXPECT_TRUE(std::isnan(s.a));
    } else {
      EXPECT_EQ(static_cast<double>(s.a), k.a);
      EXPECT_EQ(std::signbit(s.a), std::signbit(k.a));
    }
    EXPECT_EQ(static_cast<double>(s.alfa), k.alfa);
    EXPECT_EQ(single_text(s.r).view(), k.r_text);
    EXPECT_EQ(single_text(s.a).view(), k.a_text);
    EXPECT_EQ(single_text(s.alfa).view(), k.alfa_text);
  }
}

// Wholly in double these would read " 3.217505" and " 53.12998": the single steps matter.
TEST(SegmentTest, MixedPrecisionIsNotWhollyDouble) {
  EXPECT_EQ(single_text(compute_segment(3, 1).a).view(), " 3.217506");
  EXPECT_EQ(single_text(compute_segment(4, 2).alfa).view(), " 53.12997");
  EXPECT_EQ(single_text(compute_segment(1e19f, 1).r).view(), " 5e+37");
}

// The NaN of an invalid operation is x86's default one, sign bit set, on every processor
// (others give it the sign bit clear): 0/0 in r, and infinity times 0 in a.
TEST(SegmentTest, InvalidOperationsGiveTheDefaultNan) {
  const Segment zero = compute_segment(0, 0);
  const Segment flat = compute_segment(1, 0);
  for (float v : {zero.r, zero.a, zero.alfa, flat.a}) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(v), 0xFFC00000u);
    EXPECT_EQ(single_text(v).view(), "-nan");
  }
  // A sagitta typed as -0: r = -inf, and the signed zeros come through.
  const Segment negative_zero = compute_segment(1, -0.0f);
  EXPECT_EQ(negative_zero.r, -std::numeric_limits<float>::infinity());
  EXPECT_EQ(single_text(negative_zero.alfa).view(), "-0");
}

}  // namespace
}  // namespace zepa
