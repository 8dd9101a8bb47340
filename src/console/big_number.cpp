#include "console/big_number.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_ARM64))
#include <intrin.h>
#endif

namespace zepa {

namespace {

constexpr int kLargestPowerOfFive = 27;

constexpr std::array<std::uint64_t, kLargestPowerOfFive + 1> powers_of_five() {
  std::array<std::uint64_t, kLargestPowerOfFive + 1> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 5;
  return powers;
}

// The powers of five that fit in 64 bits, 5^0 to 5^27.
constexpr std::array<std::uint64_t, kLargestPowerOfFive + 1> kPowersOfFive = powers_of_five();

int bit_width(std::uint64_t value) {
  return static_cast<int>(std::bit_width(value));
}

}  // namespace

Product128 full_multiplication(std::uint64_t a, std::uint64_t b) {
#if defined(_MSC_VER) && defined(_M_X64)
  Product128 product{};
  product.low = _umul128(a, b, &product.high);
  return product;
#elif defined(_MSC_VER) && defined(_M_ARM64)
  return {__umulh(a, b), a * b};
#else
  // (a1 2^32 + a0)(b1 2^32 + b0): the middle terms and the carry out of the low product meet in
  // `middle`, which cannot overflow: 3 (2^32 - 1) + (2^32 - 1)^2 < 2^64.
  constexpr std::uint64_t kLow32 = 0xFFFFFFFF;
  const std::uint64_t a0 = a & kLow32;
  const std::uint64_t a1 = a >> 32;
  const std::uint64_t b0 = b & kLow32;
  const std::uint64_t b1 = b >> 32;
  const std::uint64_t low = a0 * b0;
  const std::uint64_t cross = a1 * b0;
  const std::uint64_t middle = (low >> 32) + (cross & kLow32) + a0 * b1;
  return {a1 * b1 + (cross >> 32) + (middle >> 32), (middle << 32) | (low & kLow32)};
#endif
}

int BigNumber::bit_length() const {
  return size_ == 0 ? 0 : 64 * (size_ - 1) + bit_width(limbs_[size_ - 1]);
}

void BigNumber::multiply_add(std::uint64_t factor, std::uint64_t addend) {
  std::uint64_t carry = addend;
  for (int i = 0; i < size_; ++i) {
    // limb × factor + carry is below 2^128: the low half's carry fits the high half.
    const Product128 product = full_multiplication(limbs_[i], factor);
    limbs_[i] = product.low + carry;
    carry = product.high + (limbs_[i] < carry ? 1 : 0);
  }
  if (carry != 0) limbs_[size_++] = carry;
}

void BigNumber::multiply_by_power_of_five(int exponent) {
  for (; exponent >= kLargestPowerOfFive; exponent -= kLargestPowerOfFive) {
    multiply_add(kPowersOfFive[kLargestPowerOfFive], 0);
  }
  multiply_add(kPowersOfFive[static_cast<std::size_t>(exponent)], 0);
}

void BigNumber::shift_left(int bits) {
  const int part = bits % 64;
  if (part != 0) {
    std::uint64_t carry = 0;
    for (int i = 0; i < size_; ++i) {
      const std::uint64_t limb = limbs_[i];
      limbs_[i] = (limb << part) | carry;
      carry = limb >> (64 - part);
    }
    if (carry != 0) limbs_[size_++] = carry;
  }
  const int whole = bits / 64;
  if (whole == 0 || size_ == 0) return;
  for (int i = size_ - 1; i >= 0; --i) limbs_[i + whole] = limbs_[i];
  std::fill_n(limbs_.begin(), whole, 0);
  size_ += whole;
}

std::uint64_t BigNumber::leading_bits(int& exponent, bool& sticky) const {
  const int low = std::max(bit_length() - 64, 0);
  const int limb = low / 64;
  const int part = low % 64;
  // The 64 bits from bit `low` up span limbs_[limb] and the one above it (zero past the top).
  std::uint64_t bits = limbs_[limb];
  if (part != 0) bits = (bits >> part) | (limbs_[limb + 1] << (64 - part));
  sticky = (limbs_[limb] & ((std::uint64_t{1} << part) - 1)) != 0;
  for (int i = 0; i < limb && !sticky; ++i) sticky = limbs_[i] != 0;
  exponent = low;
  return bits;
}

int BigNumber::compare(const BigNumber& other) const {
  if (size_ != other.size_) return size_ < other.size_ ? -1 : 1;
  for (int i = size_ - 1; i >= 0; --i) {
    if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
  }
  return 0;
}

void BigNumber::subtract(const BigNumber& other) {
  bool borrow = false;
  for (int i = 0; i < size_; ++i) {
    const std::uint64_t taken = i < other.size_ ? other.limbs_[i] : 0;
    const std::uint64_t limb = limbs_[i];
    const std::uint64_t difference = limb - taken;
    limbs_[i] = difference - (borrow ? 1 : 0);
    borrow = limb < taken || (borrow && difference == 0);
  }
  while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
}

std::uint32_t BigNumber::divide(std::uint32_t divisor) {
  // Schoolbook division by 32-bit halves of each limb: the remainder carried down stays below
  // the divisor, so each partial dividend fits 64 bits.
  constexpr std::uint64_t kLow32 = 0xFFFFFFFF;
  std::uint64_t remainder = 0;
  for (int i = size_ - 1; i >= 0; --i) {
    const std::uint64_t high = (remainder << 32) | (limbs_[i] >> 32);
    remainder = high % divisor;
    const std::uint64_t low = (remainder << 32) | (limbs_[i] & kLow32);
    remainder = low % divisor;
    limbs_[i] = (high / divisor) << 32 | (low / divisor);
  }
  while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
  return static_cast<std::uint32_t>(remainder);
}

Quotient leading_quotient(BigNumber& numerator, BigNumber& denominator) {
  int shift = denominator.bit_length() - numerator.bit_length();
  if (shift > 0) {
    numerator.shift_left(shift);
  } else {
    denominator.shift_left(-shift);
  }
  if (numerator.compare(denominator) < 0) {
    numerator.shift_left(1);
    ++shift;
  }
  // Now denominator <= numerator < 2 × denominator: the first quotient bit is 1.
  std::uint64_t bits = 0;
  for (int i = 0; i < kQuotientBits; ++i) {
    bits <<= 1;
    if (numerator.compare(denominator) >= 0) {
      numerator.subtract(denominator);
      bits |= 1;
    }
    numerator.shift_left(1);
  }
  return {bits, -shift - (kQuotientBits - 1), !numerator.is_zero()};
}

}  // namespace zepa
