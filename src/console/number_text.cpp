#include "console/number_text.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "console/big_number.h"
#include "console/decimal_digits.h"

namespace zepa {

namespace {

constexpr int kSingleDigits = 7;
constexpr std::uint32_t kLowest7 = 1000000;   // 10^6: the smallest 7-digit significand
constexpr std::uint32_t kBeyond7 = 10000000;  // 10^7

// "00" .. "99": two digits at a time.
constexpr std::array<char, 200> two_digit_table() {
  std::array<char, 200> t{};
  for (std::size_t i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}
constexpr std::array<char, 200> kTwoDigits = two_digit_table();

const char* two_digits(std::uint32_t n) {
  return &kTwoDigits[std::size_t{2} * n];
}

// Writes the text of `digits` (a 7-digit significand) with decimal exponent x in the general
// form: fixed for -4 <= x < 7, exponent form otherwise; trailing zeros and a final point go.
// `out` has room for 13 bytes.
int write_general7(bool negative, std::uint32_t digits, int x, char* out) {
  // The significand's digits, then the count worth writing: trailing zeros dropped.
  char d[kSingleDigits];
  const std::uint32_t high = digits / 10000;  // 3 digits
  const std::uint32_t low = digits % 10000;   // 4 digits
  d[0] = static_cast<char>('0' + high / 100);
  std::memcpy(d + 1, two_digits(high % 100), 2);
  std::memcpy(d + 3, two_digits(low / 100), 2);
  std::memcpy(d + 5, two_digits(low % 100), 2);
  int last = kSingleDigits - 1;  // the last significant digit worth writing
  while (last > 0 && d[last] == '0') --last;
  char* p = out;
  const auto put = [&p](const char* bytes, int count) {
    std::memcpy(p, bytes, static_cast<std::size_t>(count));
    p += count;
  };
  if (negative) *p++ = '-';
  if (x >= -4 && x < kSingleDigits) {
    if (x < 0) {
      put("0.0000", 1 - x);  // "0." and the zeros before the first digit
      put(d, last + 1);
    } else {
      put(d, x + 1);
      if (last > x) {
        *p++ = '.';
        put(d + x + 1, last - x);
      }
    }
  } else {
    *p++ = d[0];
    if (last > 0) *p++ = '.';
    put(d + 1, last);
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    const int magnitude = x < 0 ? -x : x;  // at most 45 for a single
    put(two_digits(static_cast<std::uint32_t>(magnitude)), 2);
  }
  return static_cast<int>(p - out);
}

// The powers of ten of the common case: with a significand below 2^24, m × 10^k for k up to 11
// stays below 2^61.
constexpr int kSmallScales = 12;

// The integer nearest to bits × 2^-shift (a little more with `sticky`), an exact tie to the
// even one; `truncated` gets the integer part. shift is 0 to 63.
std::uint64_t rounded_shift(std::uint64_t bits, int shift, bool sticky, std::uint64_t& truncated) {
  truncated = bits >> shift;
  if (shift == 0) return truncated;
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const std::uint64_t rest = bits & ((half << 1) - 1);
  const bool up = rest > half || (rest == half && (sticky || (truncated & 1) != 0));
  return truncated + (up ? 1 : 0);
}

// m × 2^e × 10^k rounded to nearest, for the singles beyond the 64-bit case, exactly with big
// integers; `truncated` gets the integer part (below 10^8, as general7 picks k). For k >= 0 the
// value is m × 5^k × 2^(e + k) with e + k < 0 (the value is below 10^7): the leading bits of
// m × 5^k, shifted. For k < 0 the value is at least 10^7, so e >= 0: the integer m × 2^e
// divided by 10^(-k - 1), then its last digit and the remainders decide the rounding.
std::uint64_t rounded_wide(std::uint32_t m, int e, int k, std::uint64_t& truncated) {
  BigNumber number(m);
  int low = 0;
  bool sticky = false;
  if (k >= 0) {
    number.multiply_by_power_of_five(k);
    const std::uint64_t bits = number.leading_bits(low, sticky);
    return rounded_shift(bits, -(e + k) - low, sticky, truncated);
  }
  number.shift_left(e);
  constexpr int kChunk = 9;  // 10^9 is the largest power of ten below 2^32
  bool rest = false;
  int left = -k - 1;
  for (; left >= kChunk; left -= kChunk) rest = number.divide(kPowersOfTen[kChunk]) != 0 || rest;
  if (left > 0) rest = number.divide(static_cast<std::uint32_t>(kPowersOfTen[left])) != 0 || rest;
  // Now below 10^8 × 10, so in the leading bits whole.
  const std::uint64_t tenfold = number.leading_bits(low, sticky);
  truncated = tenfold / 10;
  const std::uint64_t last = tenfold % 10;
  const bool up = last > 5 || (last == 5 && (rest || (truncated & 1) != 0));
  return truncated + (up ? 1 : 0);
}

// Zeros, infinities and NaNs: "0" or the word, after a "-" when the sign bit is set (the
// words of negative values carry their own).
int write_without_digits(std::uint32_t bits, char* out) {
  const bool negative = (bits >> 31) != 0;
  std::string_view text = negative ? "-0" : "0";
  if ((bits & 0x7F800000) != 0) {
    const bool nan = (bits & 0x7FFFFF) != 0;
    text = nan ? (negative ? kNegativeNanText : kNanText)
               : (negative ? kNegativeInfinityText : kInfinityText);
  }
  return static_cast<int>(text.copy(out, text.size()));
}

// Writes the text of a single with the sign bit of `bits` and the 7-digit significand `q`
// (10^7 when rounding carried into the next power of ten) at decimal exponent x.
int write_rounded7(std::uint32_t bits, std::uint64_t q, int x, char* out) {
  if (q == kBeyond7) {
    q = kLowest7;
    ++x;
  }
  return write_general7(bits >> 31 != 0, static_cast<std::uint32_t>(q), x, out);
}

// The "%.7g" text of a single, by exact integer arithmetic on its significand and exponent
// (the C++ library's general conversion is slow and would bring its large tables along).
int general7(float value, char* out) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  std::uint32_t m = bits & 0x7FFFFF;
  if (biased == 0xFF || (biased == 0 && m == 0)) return write_without_digits(bits, out);
  int e = -149;
  if (biased != 0) {
    m |= 0x800000;
    e = biased - 150;
  }
  // value = m * 2^e. x starts as the decimal exponent of its leading power of two, which is
  // the value's own or one less: 10^x <= 2^top <= value, so value * 10^(6 - x) is at least
  // 10^6 and below 10^8, and x only ever has to go up.
  const int top = e + std::bit_width(m) - 1;
  // floor(top * log10(2)) by a fixed-point product (exact over the exponents of a single).
  int x = (top * 78913) >> 18;
  for (;;) {
    const int k = kSingleDigits - 1 - x;  // value * 10^k has 7 digits before the point
    if (e <= 0 && e > -64 && k >= 0 && k < kSmallScales) {
      // From about 1e-5 to 1e7, the common case: all in 64 bits, the divisor a power of two.
      std::uint64_t truncated = 0;
      const std::uint64_t q = rounded_shift(m * kPowersOfTen[k], -e, false, truncated);
      if (truncated >= kBeyond7) {
        ++x;
        continue;
      }
      return write_rounded7(bits, q, x, out);
    }
    std::uint64_t truncated = 0;
    const std::uint64_t q = rounded_wide(m, e, k, truncated);
    if (truncated >= kBeyond7) {
      ++x;
      continue;
    }
    return write_rounded7(bits, q, x, out);
  }
}

}  // namespace

SingleText single_text(float value) {
  // A negative text begins with its "-", any other with the lead blank.
  SingleText text{};
  const bool negative = std::signbit(value);
  if (!negative) text.bytes[0] = ' ';
  const int length = general7(value, negative ? text.bytes : text.bytes + 1);
  text.length = negative ? length : length + 1;
  return text;
}

}  // namespace zepa
