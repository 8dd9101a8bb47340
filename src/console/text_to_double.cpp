#include "console/text_to_double.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "console/big_number.h"
#include "console/decimal_digits.h"

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
static_assert(std::max(kMaxDigits * 3322 / 1000 + 1, (kMaxDigits + 323) * 2322 / 1000 + 1) + 2 <=
              kBigNumberBits);

// The digits held in a 64-bit integer while reading; up to 19 they are exact.
constexpr int kLeadingDigits = 19;

// The number of bits up to the leading one, as an int (std::bit_width gives the argument's type).
int bit_width(std::uint64_t value) {
  return static_cast<int>(std::bit_width(value));
}

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
  if (bits == kInfinityBits) return {end, Conversion::kTooLarge};
  if (bits == 0) return {end, Conversion::kTooSmall};
  value = std::bit_cast<double>(bits);
  return {end, Conversion::kStored};
}

TextToDoubleResult zero(const char* end, double& value) {
  value = 0;
  return {end, Conversion::kStored};
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
  const Quotient quotient = leading_quotient(digits, power);
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
    const unsigned digit = digit_value(*p);
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
  if (end == nullptr) return {first, Conversion::kNoNumber};
  if (number.count == 0) return zero(end, value);
  if (number.count <= kLeadingDigits && exact_decimal(number.leading, number.exponent, value)) {
    return {end, Conversion::kStored};
  }
  return finish(end, exact_decimal_bits(number), value);
}

TextToDoubleResult hex_text_to_double(const char* first, const char* last, double& value) {
  HexNumber number;
  const char* end = read_hex(first, last, number);
  if (end == nullptr) return {first, Conversion::kNoNumber};
  if (number.significand == 0) return zero(end, value);
  const std::int64_t exponent = number.exponent + number.written;
  return finish(end, nearest_double_bits(number.significand, exponent, number.sticky), value);
}

}  // namespace zepa
