#include "console/big_number.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zepa {
namespace {

constexpr std::uint64_t kMax = ~std::uint64_t{0};

TEST(BigNumber, FullMultiplicationCarriesAcrossTheHalves) {
  struct Case {
    std::uint64_t a, b, high, low;
  };
  const Case cases[] = {
      {0, kMax, 0, 0},
      {1, kMax, 0, kMax},
      // The largest product, and the carries out of the middle terms.
      {kMax, kMax, 0xFFFFFFFFFFFFFFFE, 1},
      {kMax, 0x100000001, 0x100000000, 0xFFFFFFFEFFFFFFFF},
      {0x100000000, 0x100000000, 1, 0},
      {0xFFFFFFFF, 0x100000001, 0, kMax},
      {0x123456789ABCDEF0, 0xFEDCBA9876543210, 0x121FA00AD77D7422, 0x236D88FE5618CF00},
  };
  for (const Case& c : cases) {
    const Product128 product = full_multiplication(c.a, c.b);
    EXPECT_EQ(product.high, c.high) << std::hex << c.a << " " << c.b;
    EXPECT_EQ(product.low, c.low) << std::hex << c.a << " " << c.b;
  }
}

TEST(BigNumber, ExactAcrossLimbs) {
  int exponent = 0;
  bool sticky = false;
  // 5^27 × 5^27 = 5^54, 126 bits: its leading 64 and a nonzero rest.
  BigNumber power(0x6765C793FA10079D);
  power.multiply_by_power_of_five(27);
  EXPECT_EQ(power.bit_length(), 126);
  EXPECT_EQ(power.leading_bits(exponent, sticky), 0xA70C3C40A64E6C51u);
  EXPECT_EQ(exponent, 62);
  EXPECT_TRUE(sticky);

  // 2^128 - 1: a borrow through two whole limbs.
  BigNumber ones(1);
  ones.shift_left(128);
  ones.subtract(BigNumber(1));
  EXPECT_EQ(ones.bit_length(), 128);
  EXPECT_EQ(ones.leading_bits(exponent, sticky), kMax);
  EXPECT_EQ(exponent, 64);
  EXPECT_TRUE(sticky);
  BigNumber two_limbs(kMax);
  two_limbs.shift_left(64);
  EXPECT_LT(two_limbs.compare(ones), 0);
  two_limbs.multiply_add(1, kMax);
  EXPECT_EQ(two_limbs.compare(ones), 0);

  // 3^80 / 10^9: 127 bits down to 97, and the remainder.
  BigNumber three(1);
  for (int i = 0; i < 80; ++i) three.multiply_add(3, 0);
  EXPECT_EQ(three.divide(1000000000), 383297601u);
  EXPECT_EQ(three.leading_bits(exponent, sticky), 0xEECC4C8D16DE4C5Au);
  EXPECT_EQ(exponent, 33);
  // A remainder of zero and a quotient that empties.
  BigNumber small(1000000000);
  EXPECT_EQ(small.divide(1000000000), 0u);
  EXPECT_EQ(small.divide(10), 1u);
  EXPECT_TRUE(small.is_zero());
}

TEST(BigNumber, LeadingQuotientBits) {
  // 1/3 = 0.0101...: 54 bits from the leading one, and an inexact rest.
  BigNumber one(1);
  BigNumber three(3);
  const Quotient third = leading_quotient(one, three);
  EXPECT_EQ(third.bits, 0x2AAAAAAAAAAAAAu);
  EXPECT_EQ(third.exponent, -55);
  EXPECT_TRUE(third.inexact);
  // 6/3 = 2, exactly.
  BigNumber six(6);
  BigNumber divisor(3);
  const Quotient two = leading_quotient(six, divisor);
  EXPECT_EQ(two.bits, std::uint64_t{1} << 53);
  EXPECT_EQ(two.exponent, -52);
  EXPECT_FALSE(two.inexact);
}

}  // namespace
}  // namespace zepa
