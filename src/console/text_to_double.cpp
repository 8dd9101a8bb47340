#include "console/text_to_double.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace zepa {

namespace {

constexpr std::uint64_t kInfinityBits = 0x7ff0000000000000;

// Exponent digits are taken up to this magnitude. Beyond it every nonzero number is out of
// range whatever its digits (no text holds that many), so further digits only move the end.
constexpr std::int64_t kExponentLimit = 100'000'000'000'000'000;

// The significant digits an exact conversion needs: a number halfway between two doubles has
// at most 768 of them, so a number with more lies on the same side of it as its first 800 with
// any nonzero digit after them counted as a little more.
constexpr int kMaxDigits = 800;

// The bits of the numbers the exact conversion divides: the digits kept (below 10^800, so
// below 2^(800 × 3.322)) or a power of five (at most 5^(800 + 323), below 2^(1123 × 2.322)),
// each doubled at most twice while dividing.
constexpr int kMaxBits =
    std::max(kMaxDigits * 3322 / 1000 + 1, (kMaxDigits + 323) * 2322 / 1000 + 1) + 2;
constexpr int kLimbCount = (kMaxBits + 63) / 64;

// The digits held in a 64-bit integer while reading; up to 19 they are exact.
constexpr int kLeadingDigits = 19;

bool is_digit(char c) {
  return static_cast<unsigned>(c - '0') < 10;
}

unsigned hex_digit(char c) {
  if (is_digit(c)) return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

// The compilers' 128-bit integer: exact products of two 64-bit integers and of a 64-bit
// integer and a power of five up to 5^54.
using Wide = unsigned __int128;

// The number of bits up to the leading one, as an int (std::bit_width gives the argument's type).
int bit_width(std::uint64_t value) {
  return static_cast<int>(std::bit_width(value));
}

int bit_width(Wide value) {
  const auto high = static_cast<std::uint64_t>(value >> 64);
  return high != 0 ? 64 + bit_width(high) : bit_width(static_cast<std::uint64_t>(value));
}

// The powers of five that fit in 64 bits, 5^0 to 5^27.
constexpr int kLargestPowerOfFive = 27;
constexpr std::array<std::uint64_t, kLargestPowerOfFive + 1> powers_of_five() {
  std::array<std::uint64_t, kLargestPowerOfFive + 1> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 5;
  return powers;
}
constexpr auto kPowersOfFive = powers_of_five();

// A nonnegative integer in 64-bit limbs, least significant first, with no allocation. The
// limbs above those in use are zero.
class BigNumber {
 public:
  explicit BigNumber(std::uint64_t value) : size_(value != 0 ? 1 : 0) { limbs_[0] = value; }

  bool is_zero() const { return size_ == 0; }

  int bit_length() const {
    return size_ == 0 ? 0 : 64 * (size_ - 1) + bit_width(limbs_[size_ - 1]);
  }

  // *this = *this × factor + addend.
  void multiply_add(std::uint64_t factor, std::uint64_t addend) {
    std::uint64_t carry = addend;
    for (int i = 0; i < size_; ++i) {
      const Wide product = Wide{limbs_[i]} * factor + carry;
      limbs_[i] = static_cast<std::uint64_t>(product);
      carry = static_cast<std::uint64_t>(product >> 64);
    }
    if (carry != 0) limbs_[size_++] = carry;
  }

  void multiply_by_power_of_five(int exponent) {
    for (; exponent >= kLargestPowerOfFive; exponent -= kLargestPowerOfFive) {
      multiply_add(kPowersOfFive[kLargestPowerOfFive], 0);
    }
    multiply_add(kPowersOfFive[static_cast<std::size_t>(exponent)], 0);
  }

  void shift_left(int bits) {
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

  // The leading 64 bits (all of them when there are fewer), the power of two of the last of
  // them, and whether a bit below them is set.
  std::uint64_t leading_bits(int& exponent, bool& sticky) const {
    const int low = std::max(bit_length() - 64, 0);
    const int limb = low / 64;
    const int part = low % 64;
    const Wide window = Wide{limbs_[limb + 1]} << 64 | limbs_[limb];
    sticky = (limbs_[limb] & ((std::uint64_t{1} << part) - 1)) != 0;
    for (int i = 0; i < limb && !sticky; ++i) sticky = limbs_[i] != 0;
    exponent = low;
    return static_cast<std::uint64_t>(window >> part);
  }

  // Negative, zero or positive as *this is below, equal to or above `other`.
  int compare(const BigNumber& other) const {
    if (size_ != other.size_) return size_ < other.size_ ? -1 : 1;
    for (int i = size_ - 1; i >= 0; --i) {
      if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
    }
    return 0;
  }

  // *this -= other, which is not above *this.
  void subtract(const BigNumber& other) {
    std::uint64_t borrow = 0;
    for (int i = 0; i < size_; ++i) {
      const std::uint64_t taken = i < other.size_ ? other.limbs_[i] : 0;
      const Wide difference = Wide{limbs_[i]} - taken - borrow;  // wraps below zero
      limbs_[i] = static_cast<std::uint64_t>(difference);
      borrow = static_cast<std::uint64_t>(difference >> 64) != 0 ? 1 : 0;
    }
    while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
  }

 private:
  // One more than needed, so that the two limbs read for the leading bits are always there.
  std::array<std::uint64_t, kLimbCount + 1> limbs_{};
  int size_;  // limbs in use; the highest of them is not zero
};

// Bits of a double from the 53-bit significand `kept` (the leading bit included, so that a
// carry out of it raises the exponent) whose leading bit is worth 2^top; below 2^-1022 the
// significand is the subnormal one.
std::uint64_t assemble(std::uint64_t kept, std::int64_t top) {
  if (top < -1022) return kept;
  const std::uint64_t bits = (static_cast<std::uint64_t>(top + 1022) << 52) + kept;
  return std::min(bits, kInfinityBits);
}

// The bits of the double nearest to significand × 2^exponent, ties to even. With `sticky` the
// number is a little more than that: less than one unit of the significand's last bit, which
// must then lie below the rounding bit (a significand of 54 bits or more). kInfinityBits
// beyond the largest double, 0 for a number that rounds to zero.
std::uint64_t nearest_double_bits(std::uint64_t significand, std::int64_t exponent, bool sticky) {
  const std::int64_t top = exponent + bit_width(significand) - 1;
  if (top > 1023) return kInfinityBits;
  if (top < -1075) return 0;
  // A normal double keeps 53 bits; a smaller one keeps the bits down to 2^-1074.
  const std::int64_t last_kept = top >= -1022 ? top - 52 : -1074;
  const int dropped = static_cast<int>(last_kept - exponent);  // at most 64
  if (dropped <= 0) return assemble(significand << -dropped, top);
  const std::uint64_t kept = dropped < 64 ? significand >> dropped : 0;
  const std::uint64_t half = std::uint64_t{1} << (dropped - 1);
  const bool above_half = (significand & (half - 1)) != 0 || sticky;
  const bool round_up = (significand & half) != 0 && (above_half || (kept & 1) != 0);
  return assemble(kept + (round_up ? 1 : 0), top);
}

// Reads exponent digits into `magnitude`; returns the end of them.
const char* read_exponent_digits(const char* p, const char* last, std::int64_t& magnitude) {
  for (; p != last && is_digit(*p); ++p) {
    if (magnitude < kExponentLimit) magnitude = magnitude * 10 + (*p - '0');
  }
  return p;
}

TextToDoubleResult finish(const char* end, std::uint64_t bits, double& value) {
  if (bits == kInfinityBits) return {end, std::errc::result_out_of_range, true};
  if (bits == 0) return {end, std::errc::result_out_of_range, false};
  value = std::bit_cast<double>(bits);
  return {end, std::errc{}, false};
}

TextToDoubleResult zero(const char* end, double& value) {
  value = 0;
  return {end, std::errc{}, false};
}

// A decimal number as read: its significant digits, from the first nonzero one to the last
// digit (with the point, if it lies among them, to be passed over), and the power of ten of the
// last digit.
struct DecimalNumber {
  const char* digits = nullptr;
  const char* digits_end = nullptr;
  std::int64_t count = 0;
  std::uint64_t leading = 0;            // the first kLeadingDigits of them as an integer
  const char* after_leading = nullptr;  // where the digits after those begin
  std::int64_t exponent = 0;
};

// Reads a run of digits into `number`, which may already hold some; returns its end. The
// fields are copied to locals so that the loops keep them in registers.
const char* read_digits(const char* p, const char* last, DecimalNumber& number) {
  std::int64_t count = number.count;
  if (count == 0) {
    while (p != last && *p == '0') ++p;
    if (p != last && is_digit(*p)) number.digits = p;
  }
  std::uint64_t leading = number.leading;
  for (; p != last && is_digit(*p) && count < kLeadingDigits; ++p, ++count) {
    leading = leading * 10 + static_cast<unsigned>(*p - '0');
  }
  number.leading = leading;
  if (count == kLeadingDigits && number.after_leading == nullptr) number.after_leading = p;
  const char* rest = p;
  while (p != last && is_digit(*p)) ++p;
  number.count = count + (p - rest);
  return p;
}

// An exponent without digits after its letter (and sign) is not part of the number.
const char* read_decimal_exponent(const char* p, const char* last, std::int64_t& exponent) {
  if (p == last || (*p != 'e' && *p != 'E')) return p;
  const char* digits = p + 1;
  const bool negative = digits != last && *digits == '-';
  if (digits != last && (*digits == '+' || *digits == '-')) ++digits;
  std::int64_t magnitude = 0;
  const char* end = read_exponent_digits(digits, last, magnitude);
  if (end == digits) return p;
  exponent += negative ? -magnitude : magnitude;
  return end;
}

// The end of the number that begins at `first`, read into `number`; nullptr when none does.
const char* read_decimal(const char* first, const char* last, DecimalNumber& number) {
  const char* p = read_digits(first, last, number);
  bool any_digit = p != first;
  if (p != last && *p == '.') {
    const char* fraction = p + 1;
    p = read_digits(fraction, last, number);
    any_digit = any_digit || p != fraction;
    number.exponent = fraction - p;
  }
  if (!any_digit) return nullptr;
  number.digits_end = p;
  return read_decimal_exponent(p, last, number.exponent);
}

// Clinger's case: digits up to 2^53 and a power of ten up to 10^22 are both exact doubles, so
// the one multiplication or division rounds correctly.
bool exact_operands(const DecimalNumber& number, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr std::int64_t kLargest = 22;
  if (number.count > kLeadingDigits || number.leading > (std::uint64_t{1} << 53)) return false;
  if (number.exponent < -kLargest || number.exponent > kLargest) return false;
  value = static_cast<double>(number.leading);
  if (number.exponent < 0) {
    value /= kPowers[-number.exponent];
  } else {
    value *= kPowers[number.exponent];
  }
  return true;
}

// The bits of the double nearest to value × 2^exponent (a little more with `sticky`, which
// needs a value of 54 bits or more), from its leading 64 bits.
std::uint64_t wide_bits(Wide value, std::int64_t exponent, bool sticky) {
  const int dropped = std::max(bit_width(value) - 64, 0);
  sticky = sticky || (value & ((Wide{1} << dropped) - 1)) != 0;
  return nearest_double_bits(static_cast<std::uint64_t>(value >> dropped), exponent + dropped,
                             sticky);
}

// The significant digits as an integer, when there are at most 38 (below 10^38 < 2^127).
bool wide_digits(const DecimalNumber& number, Wide& digits) {
  constexpr int kWideDigits = 38;
  if (number.count > kWideDigits) return false;
  digits = number.leading;
  if (number.count <= kLeadingDigits) return true;
  for (const char* p = number.after_leading; p != number.digits_end; ++p) {
    if (*p != '.') digits = digits * 10 + static_cast<unsigned>(*p - '0');
  }
  return true;
}

// Exact in 128 bits, for up to 38 digits: digits × 10^e is digits × 5^e × 2^e, whose product
// must fit (e up to 54); digits × 10^-k is (digits × 2^s) / 5^k × 2^(-s-k) for k up to 27,
// where the digits shifted to the top leave a quotient of at least 64 bits.
bool wide_decimal(const DecimalNumber& number, std::uint64_t& bits) {
  const std::int64_t exponent = number.exponent;
  Wide digits = 0;
  if (exponent < -kLargestPowerOfFive || !wide_digits(number, digits)) return false;
  if (exponent >= 0) {
    constexpr std::int64_t kLargest = std::int64_t{2} * kLargestPowerOfFive;
    if (exponent > kLargest) return false;
    const auto high =
        static_cast<std::size_t>(std::max<std::int64_t>(exponent - kLargestPowerOfFive, 0));
    const Wide power =
        Wide{kPowersOfFive[static_cast<std::size_t>(exponent) - high]} * kPowersOfFive[high];
    if (bit_width(digits) + bit_width(power) > 128) return false;
    bits = wide_bits(digits * power, exponent, false);
    return true;
  }
  const std::uint64_t power = kPowersOfFive[static_cast<std::size_t>(-exponent)];
  const int shift = 128 - bit_width(digits);
  const Wide numerator = digits << shift;
  const Wide quotient = numerator / power;
  bits = wide_bits(quotient, exponent - shift, quotient * power != numerator);
  return true;
}

// Loads the first kMaxDigits significant digits into `integer`; returns how many there were.
// `sticky` tells whether a digit after them is not zero.
int load_digits(const DecimalNumber& number, BigNumber& integer, bool& sticky) {
  constexpr int kChunk = kLeadingDigits;  // digits of a limb taken at once
  int loaded = 0;
  int pending = 0;
  std::uint64_t chunk = 0;
  std::uint64_t scale = 1;
  const char* p = number.digits;
  for (; p != number.digits_end && loaded < kMaxDigits; ++p) {
    if (*p == '.') continue;
    chunk = chunk * 10 + static_cast<unsigned>(*p - '0');
    scale *= 10;
    ++loaded;
    if (++pending == kChunk) {
      integer.multiply_add(scale, chunk);
      chunk = 0;
      scale = 1;
      pending = 0;
    }
  }
  if (pending != 0) integer.multiply_add(scale, chunk);
  for (sticky = false; p != number.digits_end && !sticky; ++p) sticky = *p != '0' && *p != '.';
  return loaded;
}

struct Quotient {
  std::uint64_t bits;  // kQuotientBits of them, the leading one set
  int exponent;        // the quotient is bits × 2^exponent, plus the remainder's share
  bool inexact;        // the remainder is not zero
};

// A double's 53 bits and its rounding bit; the remainder tells whether more lies below.
constexpr int kQuotientBits = 54;

// numerator / denominator, both nonzero, by long division after lining up their leading bits.
// Both are used up.
Quotient divide(BigNumber& numerator, BigNumber& denominator) {
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

// digits × 10^exponent = digits × 5^exponent × 2^exponent, from the product's leading bits.
std::uint64_t scaled_bits(BigNumber& digits, int exponent) {
  digits.multiply_by_power_of_five(exponent);
  int shift = 0;
  bool sticky = false;
  const std::uint64_t leading = digits.leading_bits(shift, sticky);
  return nearest_double_bits(leading, std::int64_t{exponent} + shift, sticky);
}

// digits × 10^-k = digits / 5^k × 2^-k; `sticky` for nonzero digits after those given.
std::uint64_t divided_bits(BigNumber& digits, int k, bool sticky) {
  BigNumber power(1);
  power.multiply_by_power_of_five(k);
  const Quotient quotient = divide(digits, power);
  return nearest_double_bits(quotient.bits, std::int64_t{quotient.exponent} - k,
                             quotient.inexact || sticky);
}

// The exact conversion with big integers, for any digits and exponent.
std::uint64_t exact_decimal_bits(const DecimalNumber& number) {
  // The number lies in [10^(position - 1), 10^position).
  const std::int64_t position = number.count + number.exponent;
  if (position > 309) return kInfinityBits;  // 10^309 and more
  if (position < -323) return 0;             // below 10^-324, less than half of 2^-1074
  BigNumber digits(0);
  bool sticky = false;
  const int exponent = static_cast<int>(position) - load_digits(number, digits, sticky);
  // More than kMaxDigits digits (`sticky` only then) leave a negative exponent.
  if (exponent >= 0) return scaled_bits(digits, exponent);
  return divided_bits(digits, -exponent, sticky);
}

// A hexadecimal significand as read: its first 16 significant digits, whether a digit after
// them is not zero, and the power of two of the last digit kept; then the written exponent.
struct HexNumber {
  std::uint64_t significand = 0;
  bool sticky = false;
  std::int64_t exponent = 0;
  std::int64_t written = 0;
};

// The written exponent: the 'p', one optional sign, then digits. Without them the 'p' is not
// part of the number ("1p+-3" is 1, stopping at the 'p', as the C library's strtod reads it).
const char* read_binary_exponent(const char* p, const char* last, std::int64_t& exponent) {
  if (p == last || (*p != 'p' && *p != 'P')) return p;
  const char* digits = p + 1;
  bool negative = false;
  if (digits != last && (*digits == '+' || *digits == '-')) negative = *digits++ == '-';
  std::int64_t magnitude = 0;
  const char* end = read_exponent_digits(digits, last, magnitude);
  if (end == digits) return p;
  exponent = negative ? -magnitude : magnitude;
  return end;
}

const char* read_hex(const char* first, const char* last, HexNumber& number) {
  constexpr int kHeld = 16;  // the digits of a 64-bit significand
  bool any_digit = false;
  bool point = false;
  int held = 0;
  const char* p = first;
  for (; p != last; ++p) {
    if (*p == '.' && !point) {
      point = true;
      continue;
    }
    const unsigned digit = hex_digit(*p);
    if (digit >= 16) break;
    any_digit = true;
    if (point) number.exponent -= 4;
    if (held == 0 && digit == 0) continue;
    if (held < kHeld) {
      number.significand = number.significand * 16 + digit;
      ++held;
    } else {
      number.exponent += 4;
      number.sticky = number.sticky || digit != 0;
    }
  }
  return any_digit ? read_binary_exponent(p, last, number.written) : nullptr;
}

}  // namespace

TextToDoubleResult decimal_text_to_double(const char* first, const char* last, double& value) {
  DecimalNumber number;
  const char* end = read_decimal(first, last, number);
  if (end == nullptr) return {first, std::errc::invalid_argument, false};
  if (number.count == 0) return zero(end, value);
  if (exact_operands(number, value)) return {end, std::errc{}, false};
  std::uint64_t bits = 0;
  if (wide_decimal(number, bits)) return finish(end, bits, value);
  return finish(end, exact_decimal_bits(number), value);
}

TextToDoubleResult hex_text_to_double(const char* first, const char* last, double& value) {
  HexNumber number;
  const char* end = read_hex(first, last, number);
  if (end == nullptr) return {first, std::errc::invalid_argument, false};
  if (number.significand == 0) return zero(end, value);
  const std::int64_t exponent = number.exponent + number.written;
  return finish(end, nearest_double_bits(number.significand, exponent, number.sticky), value);
}

}  // namespace zepa
