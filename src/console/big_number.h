#pragma once

#include <array>
#include <cstdint>

namespace zepa {

// The exact product of two 64-bit integers, as its high and low 64 bits. The one wide product
// of the number code: four 32-bit products, or the compiler's intrinsic where it has one, so
// that no compiler's own 128-bit type is needed and every target gives the same bits.
struct Product128 {
  std::uint64_t high;
  std::uint64_t low;
};
Product128 full_multiplication(std::uint64_t a, std::uint64_t b);

// Room for the exact decimal conversion's numbers: 800 significant digits (below 2^2658) or
// 5^1123 (below 2^2608), each doubled at most twice while dividing; and one limb more, so that
// the two limbs read for the leading bits are always there.
inline constexpr int kBigNumberBits = 2660;
inline constexpr int kBigNumberLimbs = (kBigNumberBits + 63) / 64 + 1;

// A nonnegative integer in 64-bit limbs, least significant first, with no allocation. A result
// beyond kBigNumberBits is not allowed for; the callers' sizes stay within it.
class BigNumber {
 public:
  explicit BigNumber(std::uint64_t value) : size_(value != 0 ? 1 : 0) { limbs_[0] = value; }

  bool is_zero() const { return size_ == 0; }
  int bit_length() const;

  // *this = *this × factor + addend.
  void multiply_add(std::uint64_t factor, std::uint64_t addend);
  // *this = *this × 5^exponent (exponent >= 0).
  void multiply_by_power_of_five(int exponent);
  // *this = *this × 2^bits (bits >= 0).
  void shift_left(int bits);
  // The leading 64 bits (all of them when there are fewer), the power of two of the last of
  // them in `exponent`, and in `sticky` whether a bit below them is set.
  std::uint64_t leading_bits(int& exponent, bool& sticky) const;
  // Negative, zero or positive as *this is below, equal to or above `other`.
  int compare(const BigNumber& other) const;
  // *this -= other, which is not above *this.
  void subtract(const BigNumber& other);
  // *this = *this / divisor, truncated (divisor not 0); returns the remainder.
  std::uint32_t divide(std::uint32_t divisor);

 private:
  std::array<std::uint64_t, kBigNumberLimbs> limbs_{};
  int size_;  // limbs in use; the highest of them is not zero
};

// The leading bits of a quotient: `bits` (kQuotientBits of them, the leading one set) times
// 2^exponent is the quotient truncated there; `inexact` when anything lies below them.
inline constexpr int kQuotientBits = 54;  // a double's 53 bits and its rounding bit
struct Quotient {
  std::uint64_t bits;
  int exponent;
  bool inexact;
};

// numerator / denominator, both nonzero, by long division after lining up their leading bits.
// Both are used up.
Quotient leading_quotient(BigNumber& numerator, BigNumber& denominator);

}  // namespace zepa
