#include "console/text_to_double.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "console/item_parser.h"
#include "console/line_input.h"

namespace zepa {
namespace {

// What a conversion gives for a text: where it stops, its error and the bits it leaves in the
// value (kUntouched, a NaN no conversion makes, when it stores none).
constexpr std::uint64_t kUntouched = 0x7ff4dead0000beef;

struct Outcome {
  std::ptrdiff_t stop = 0;
  std::errc ec{};
  std::uint64_t bits = 0;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "{stop " << o.stop << ", errc " << static_cast<int>(o.ec) << ", bits " << std::hex
             << o.bits << std::dec << "}";
}

// The library's std::from_chars: the same end, the same error and the same bits as ours.
Outcome library(std::string_view text, bool hex) {
  // One reading of the library is not followed: it takes "p+-3" as the exponent -3, where the
  // C library's strtod, and so the program, ends the number at the 'p'.
  const std::size_t p = text.find_first_of("pP");
  if (hex && p != std::string_view::npos && text.substr(p + 1, 2) == "+-") {
    text = text.substr(0, p);
  }
  double value = std::bit_cast<double>(kUntouched);
  const auto format = hex ? std::chars_format::hex : std::chars_format::general;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, format);
  return {result.ptr - text.data(), result.ec, std::bit_cast<std::uint64_t>(value)};
}

// Ours, its end told as the library tells it.
Outcome ours(std::string_view text, bool hex, bool* overflow = nullptr) {
  double value = std::bit_cast<double>(kUntouched);
  const char* last = text.data() + text.size();
  const TextToDoubleResult result = hex ? hex_text_to_double(text.data(), last, value)
                                        : decimal_text_to_double(text.data(), last, value);
  if (overflow != nullptr) *overflow = result.end == Conversion::kTooLarge;
  const std::errc ec = result.end == Conversion::kStored     ? std::errc()
                       : result.end == Conversion::kNoNumber ? std::errc::invalid_argument
                                                             : std::errc::result_out_of_range;
  return {result.ptr - text.data(), ec, std::bit_cast<std::uint64_t>(value)};
}

// Only the bits of a conversion's value.
Outcome bits_of(double value) {
  return {0, {}, std::bit_cast<std::uint64_t>(value)};
}
Outcome bits_of(float value) {
  return {0, {}, std::bit_cast<std::uint32_t>(value)};
}
double c_library(std::string_view text) {
  return std::strtod(std::string(text).c_str(), nullptr);
}

// The one harness: a conversion of ours beside its reference.
struct Harness {
  const char* name;
  Outcome (*reference)(std::string_view);
  Outcome (*ours)(std::string_view);
};
// The significands, against std::from_chars.
constexpr Harness kDecimal{"decimal", [](std::string_view t) { return library(t, false); },
                           [](std::string_view t) { return ours(t, false); }};
constexpr Harness kHex{"hex", [](std::string_view t) { return library(t, true); },
                       [](std::string_view t) { return ours(t, true); }};
// The whole decimal conversion of an item's text (white space, sign, words, hexadecimal)
// against the C library's strtod, which glibc rounds correctly: the same bits.
constexpr Harness kWhole{"whole", [](std::string_view t) { return bits_of(c_library(t)); },
                         [](std::string_view t) { return bits_of(decimal_to_double(t)); }};
// A typed number item against strtod of its first 67 bytes, rounded to single.
constexpr Harness kItem{
    "item",
    [](std::string_view t) { return bits_of(static_cast<float>(c_library(t.substr(0, 67)))); },
    [](std::string_view t) {
      input_line() = InputLine{std::string(t), 0, LineSource::kText};
      float value = 0;
      input_single(value);
      return bits_of(value);
    }};

#if defined(__GLIBC__)
constexpr bool kGlibc = true;
#else
constexpr bool kGlibc = false;
#endif

// Counts the texts on which ours and the reference differ; reports the first few.
class Comparison {
 public:
  explicit Comparison(const Harness& harness) : harness_(harness) {}
  void check(const std::string& text) {
    const Outcome want = harness_.reference(text);
    const Outcome got = harness_.ours(text);
    if (got == want) return;
    if (++mismatches_ <= 8) {
      ADD_FAILURE() << harness_.name << " \"" << text << "\": " << got << ", reference " << want;
    }
  }
  int mismatches() const { return mismatches_; }

 private:
  const Harness& harness_;
  int mismatches_ = 0;
};

template <typename Texts>
int mismatches(const Harness& harness, const Texts& texts) {
  Comparison comparison(harness);
  for (const std::string& text : texts) comparison.check(text);
  return comparison.mismatches();
}

// The exact decimal digits of (2m + 1) × 2^(e - 1), the number halfway between m × 2^e and
// (m + 1) × 2^e, and the power of ten of its last digit. Base 10^9 limbs, least significant
// first.
struct Decimal {
  std::string digits;
  int exponent;
};

Decimal halfway(std::uint64_t m, int e) {
  constexpr std::uint64_t kBase = 1000000000;
  std::vector<std::uint64_t> limbs;
  for (std::uint64_t n = 2 * m + 1; n != 0; n /= kBase) limbs.push_back(n % kBase);
  const auto multiply = [&](std::uint64_t factor) {
    std::uint64_t carry = 0;
    for (std::uint64_t& limb : limbs) {
      const std::uint64_t product = limb * factor + carry;
      limb = product % kBase;
      carry = product / kBase;
    }
    if (carry != 0) limbs.push_back(carry);
  };
  const int twos = e - 1;
  // 2^(e-1) directly, or 2^(e-1) = 5^(1-e) / 10^(1-e).
  for (int left = std::abs(twos); left > 0; left -= 12) {
    const int step = std::min(left, 12);
    std::uint64_t factor = 1;
    for (int i = 0; i < step; ++i) factor *= twos >= 0 ? 2 : 5;
    multiply(factor);
  }
  std::string digits = std::to_string(limbs.back());
  for (auto it = limbs.rbegin() + 1; it != limbs.rend(); ++it) {
    const std::string part = std::to_string(*it);
    digits += std::string(9 - part.size(), '0') + part;
  }
  return {digits, std::min(twos, 0)};
}

// The halfway point above a random finite double.
Decimal random_halfway(std::mt19937_64& random) {
  const std::uint64_t bits = random() % 0x7ff0000000000000;
  const std::uint64_t field = bits >> 52;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = field == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  return halfway(m, field == 0 ? -1074 : static_cast<int>(field) - 1075);
}

// Half the smallest subnormal, and the halfway point above the largest double.
const Decimal kTinyHalfway = halfway(0, -1074);
const Decimal kMaxHalfway = halfway((std::uint64_t{1} << 53) - 1, 971);

// The parts one after the other (a literal before a temporary string would make GCC 12 warn
// wrongly about overlapping copies).
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

// `digits` × 10^exponent written with the point among the digits, before them or not at all,
// as `style` picks.
std::string written(const std::string& digits, int exponent, unsigned style) {
  const int length = static_cast<int>(digits.size());
  switch (style % 3) {
    case 0:
      return digits + "e" + std::to_string(exponent);
    case 1:
      return "0." + digits + "E" + std::to_string(exponent + length);
    default:
      if (exponent >= 0) return digits + std::string(static_cast<std::size_t>(exponent), '0');
      if (-exponent < length) {
        return digits.substr(0, length + exponent) + "." + digits.substr(length + exponent);
      }
      return "0." + std::string(static_cast<std::size_t>(-exponent - length), '0') + digits;
  }
}

// The edges of the range, where the number stops, ties and long texts, as the library reads
// them.
TEST(TextToDouble, BoundariesAsTheLibrary) {
  const std::string kTinyHalf = written(kTinyHalfway.digits, kTinyHalfway.exponent, 2);
  const std::string kMaxHalf = written(kMaxHalfway.digits, kMaxHalfway.exponent, 2);
  const std::string decimal[] = {
      // No number, and where the number stops.
      "", ".", "e5", ".e5", "x", "+1", "-", " 1", "1e", "1e+", "1e-", "1E", "1e+-5", "1e--5", "1ex",
      "1.e5", "1..5", "1.5.5", ".5e-1", "5.", "1E5", "1e+05", "1e-0",
      // Zeros: no error whatever the exponent.
      "0", "0.", ".0", "000", "0.000000000000000000000000000000", "0e999999999999",
      "0.0e-99999999999999999999999", std::string(5000, '0'),
      // The short and the usual.
      "3", "12.5", "0.1", "1e-3", "0.30000000000000004", "123456789012345678901234567890",
      "9007199254740992", "9007199254740993", "9007199254740995", "9007199254740993e0",
      "900719925474099.3e1", "9007199254740993.000000000000000000000000000001",
      "9007199254740992.999999999999999999999999999999", "1e22", "1e23", "8.5e-22",
      // The largest double, the halfway point above it and just below that point.
      "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", kMaxHalf,
      kMaxHalf + "1", kMaxHalf.substr(0, kMaxHalf.size() - 1) + "49999", "1e308", "1e309",
      "17976931348623157e292", "0.17976931348623157e309",
      // The smallest normal, the smallest subnormal, half of it and around half of it.
      "2.2250738585072014e-308", "2.2250738585072011e-308", "4.9406564584124654e-324", "5e-324",
      "3e-324", "2.5e-324", "2.4703282292062328e-324", "2.4703282292062327e-324", kTinyHalf,
      kTinyHalf + "0000000000000000000000000000000000000000001", "1e-324", "1e-323", "1e-400",
      // Long digit strings and exponents.
      joined({"1", std::string(400, '0')}), joined({"1", std::string(308, '0')}),
      joined({"1", std::string(309, '0')}), joined({"0.", std::string(400, '0'), "1e400"}),
      joined({"0.", std::string(330, '0'), "1"}), joined({std::string(1000, '9'), "e-1000"}),
      joined({std::string(2000, '3'), "e-2300"}), "1e-999999999", "1e+99999999999999999999",
      "1e-99999999999999999999999999999", "0.0000001e-999999999",
      "1e000000000000000000000000000000000000000000000000000000300",
      "100e-99999999999999999999999999999999", "000000000000000000000000000000001.5",
      // Up to 38 digits and powers of ten from 10^-27 to 10^54 fit 128 bits; around that.
      "1e54", "1e55", "3e-27", "3e-28", "99999999999999999999999999999999999999e54",
      "18446744073709551615e38", "12345678901234567890123456789012345678e-27",
      "12345678901234567890123456789012345678e-28", "123456789012345678901234567890123456789e-5",
      "9007199254740993000000000000000000000e-21", "4.4501477170144022721148195934182639e-308",
      // A tie whose point and zeros come after the 800 digits the exact conversion keeps.
      joined({"9007199254740993", std::string(800, '0'), ".0000e-800"})};
  const std::string hex[] = {
      // No number, and where the number stops; an exponent with two signs is none.
      "", ".", "..1", "g", "p1", ".p1", "1.", "0.", ".8", "1x", "1p", "1P", "1p+", "1p-", "1p+-3",
      "1p-+3", "1p--3", "1p+-", "1P3", "1.8.8", "0p99999999999", "00000.0000",
      // Ties in the 53rd bit, and their tails.
      "1.00000000000008p0", "1.00000000000018p0", "1.000000000000080000000000000001p0",
      "1.00000000000017ffffffffffffffffp0", "20000000000001p0", "20000000000003p0",
      "fffffffffffffc00", "fffffffffffffbff", "ABCDEFabcdef0123456789p+10",
      // The largest double and above it; the smallest normal and subnormals.
      "1.fffffffffffffp1023", "1.fffffffffffff7ffp1023", "1.fffffffffffff8p1023", "1p1023",
      "1p1024", "0.8p1025", "1p-1022", "0.fffffffffffff8p-1022", "1p-1074", "1p-1075",
      "1.0000000000000000001p-1075", "1.8p-1075", "1p-1076", "3p-1076", "0.0000000000001p-1022",
      joined({"1", std::string(300, '0'), "p-2000"}),
      joined({"0.", std::string(300, '0'), "1p1200"}),
      joined({std::string(300, 'f'), ".fffp-4000"}),
      // Exponents at the int's ends; the library's exponent arithmetic holds there.
      "1p2147483647", "1p-2147483648", "1p2147483648", "1p-2147483649", "1p2147482624",
      "1p2147482627", "1p-2147482624", "1p99999999999999999999999", "1p-99999999999999999999"};
  EXPECT_EQ(mismatches(kDecimal, decimal), 0);
  EXPECT_EQ(mismatches(kHex, hex), 0);
}

TEST(TextToDouble, OutOfRangeSaysWhichSide) {
  struct Case {
    const char* text;
    bool hex;
    bool overflow;
  };
  const Case cases[] = {
      {"1e309", false, true},
      {"1.7976931348623159e308", false, true},
      {"1e99999999999999999999", false, true},
      {"1e-400", false, false},
      {"2.4703282292062327e-324", false, false},
      {"1p1024", true, true},
      {"1p2147483648", true, true},
      {"1p-1075", true, false},
      {"1p-2147483649", true, false},
      // Where the written exponent plus 1023 and the point's shift comes to 2^31 or just next
      // to it, the library's int arithmetic wraps: it gives a subnormal or zero without an
      // error. These numbers are far beyond the largest double.
      {"1p2147482625", true, true},
      {"1p2147482626", true, true},
      {"1.fffffffffffff8p2147482624", true, true},
      {"0.01p2147482633", true, true}};
  for (const Case& c : cases) {
    bool overflow = !c.overflow;
    const Outcome got = ours(c.text, c.hex, &overflow);
    EXPECT_EQ(got.ec, std::errc::result_out_of_range) << c.text;
    EXPECT_EQ(got.bits, kUntouched) << c.text;
    EXPECT_EQ(overflow, c.overflow) << c.text;
  }
}

// Numbers halfway between two neighbouring doubles, anywhere in the range, exactly (ties to
// even), with a last nonzero digit far behind them (up) and just below them (down), and the
// integers next to them, in the three ways of writing them; digit strings run up to 768
// digits, tails beyond 800.
TEST(TextToDouble, HalfwayPointsAsTheLibrary) {
  std::mt19937_64 random(20240607);
  Comparison decimal(kDecimal);
  for (int i = 0; i < 6000; ++i) {
    const Decimal h = random_halfway(random);
    const auto style = static_cast<unsigned>(random());
    decimal.check(written(h.digits, h.exponent, style));
    const int zeros = static_cast<int>(random() % 900);
    decimal.check(written(h.digits + std::string(static_cast<std::size_t>(zeros), '0') + "1",
                          h.exponent - zeros - 1, style + 1));
    std::string below = h.digits;
    if (below.back() == '0') continue;
    --below.back();
    decimal.check(written(below + std::string(static_cast<std::size_t>(zeros), '9'),
                          h.exponent - zeros, style + 2));
    // Halfway points above 2^53 are integers: one less and one more.
    if (h.exponent < 0 || h.digits.back() == '9') continue;
    decimal.check(written(below, 0, style));
    std::string above = h.digits;
    ++above.back();
    decimal.check(written(above, 0, style + 1));
  }
  // Integer halfway points at every power of two, with an even last bit kept (a tie goes
  // down): one more goes up, whichever of its bits holds the 1.
  for (const std::uint64_t m : {std::uint64_t{1} << 52, (std::uint64_t{1} << 53) - 2}) {
    for (int e = 1; e <= 971; ++e) {
      const Decimal h = halfway(m, e);
      std::string above = h.digits;
      if (above.back() == '9') continue;
      ++above.back();
      decimal.check(h.digits);
      decimal.check(above);
    }
  }
  EXPECT_EQ(decimal.mismatches(), 0);
}

// Random texts of the ways a number is written, and of its stops.
class TextMaker {
 public:
  explicit TextMaker(std::uint64_t seed) : random_(seed) {}

  // Leading zeros now and then, digits with or without a point, an exponent or none, a stop.
  std::string text(bool hex) {
    static constexpr const char* kHexSets[] = {"0123456789abcdefABCDEF", "08", "0f", "18f"};
    const std::string_view set = hex ? kHexSets[pick(4)] : "0123456789";
    std::string text(pick(4) == 0 ? pick(30) : 0, '0');
    append_digits(text, set);
    if (pick(2) == 0) {
      text += '.';
      append_digits(text, set);
    }
    if (pick(3) != 0) append_exponent(text, hex);
    static constexpr const char* kStops[] = {"", "", "", "", ".", "e", "p", "x", "5", " 1"};
    return text + kStops[pick(std::size(kStops))];
  }

 private:
  std::size_t pick(std::size_t n) { return random_() % n; }

  // Mostly a few digits, sometimes many; some texts only of the set's first or last digits,
  // so that long runs of zeros, nines or 'f's meet the rounding.
  void append_digits(std::string& text, std::string_view set) {
    static constexpr std::size_t kCounts[] = {0, 1, 2, 3, 5, 8, 15, 16, 17, 19, 20, 25, 40, 120};
    std::size_t count = kCounts[pick(std::size(kCounts))];
    if (pick(50) == 0) count = pick(1200);
    const std::size_t kind = pick(8);
    for (std::size_t i = 0; i < count; ++i) {
      text += set[kind == 0 ? 0 : kind == 1 ? set.size() - 1 : pick(set.size())];
    }
  }

  // The letter in either case, a sign or none (now and then a second), and an exponent near
  // the double's range, or long, or missing.
  void append_exponent(std::string& text, bool hex) {
    text += (hex ? "pP" : "eE")[pick(2)];
    static constexpr const char* kSigns[] = {"", "+", "-"};
    text += kSigns[pick(3)];
    if (pick(20) == 0) text += pick(3) == 0 ? "+-" : "-";
    const std::size_t form = pick(8);
    if (form == 1) {
      for (std::size_t i = pick(30); i > 0; --i) text += static_cast<char>('0' + pick(10));
    } else if (form == 2) {
      text += std::string(pick(20), '0') + std::to_string(pick(400));
    } else if (form > 2) {
      text += std::to_string(pick(1150));
    }
  }

  std::mt19937_64 random_;
};

// Random texts as the library reads them; beyond the range the side matters to the caller
// (infinity or zero), and the C library's strtod says which.
TEST(TextToDouble, RandomTextsAsTheLibrary) {
  TextMaker maker(1);
  Comparison decimal(kDecimal);
  int out_of_range = 0;
  for (int i = 0; i < 300000; ++i) {
    const std::string text = maker.text(false);
    decimal.check(text);
    bool overflow = false;
    const Outcome got = ours(text, false, &overflow);
    if (got.ec != std::errc::result_out_of_range) continue;
    ++out_of_range;
    const std::string number = text.substr(0, static_cast<std::size_t>(got.stop));
    ASSERT_EQ(overflow, std::isinf(std::strtod(number.c_str(), nullptr))) << text;
  }
  EXPECT_EQ(decimal.mismatches(), 0);
  EXPECT_GT(out_of_range, 3000);
  Comparison hex(kHex);
  for (int i = 0; i < 200000; ++i) hex.check(maker.text(true));
  EXPECT_EQ(hex.mismatches(), 0);
}

// The whole conversion of an item's text as glibc's strtod reads it. The range's edges (half the
// smallest subnormal and around it, the largest subnormal and the smallest normal, the largest
// double and the halfway point above it, in 17 digits and in more, with signs, blanks and
// exponents of every form); halfway points anywhere, signed, and the 17 to 67 digits that begin
// them (below the point) with one more in the last (above it): the texts nearest to where
// rounding changes, in the lengths that an item can hold; random numbers of 17 to 67 digits,
// most near the ends of the range. And typed items of 60 to 90 bytes, digits with a point and
// an exponent, whose first 67 bytes are the number (the exponent, the point, or both may lie
// beyond the cut).
TEST(TextToDouble, TheWholeConversionAsGlibcStrtod) {
  if (!kGlibc) GTEST_SKIP() << "the reference is glibc's strtod";
  const std::string tiny = written(kTinyHalfway.digits, kTinyHalfway.exponent, 0);
  const std::string max = written(kMaxHalfway.digits, kMaxHalfway.exponent, 0);
  // clang-format off
  const std::string edges[] = {
      "2.4703282292062327e-324", "2.4703282292062328e-324", "-2.4703282292062328E-324",
      "4.9406564584124654e-324", "7.4109846876186982e-324", "2.2250738585072009e-308",
      "2.2250738585072011e-308", "2.2250738585072014e-308", "  +2.2250738585072012e-308",
      "1.7976931348623157e308", "1.7976931348623158e308", "1.797693134862315807e308",
      "-1.7976931348623159e308", "1e309", "1e-325", "0.000001e-318", "179769313486231570e291",
      tiny, joined({"-", tiny}), tiny + "1", tiny.substr(0, 67), max, max.substr(0, 67),
      "1.7976931348623157081452742373170435679807056752584499659891747680315726078002853876"
      "058955863276687817154045895351438246423432132688946418276846754670353751698604991057"
      "655128207624549009038932894407586850845513394230458323690322294816580855933212334827"
      "4797826204144723168738177180919299881250404026184124858368e308",
      "0x1p-1074", "0x1p-1075", "0x1.0000000000001p-1075", "0x1.fffffffffffffp1023",
      "0x1.fffffffffffff8p1023", "-0X1.FFFFFFFFFFFFF7FFFFp1023", "0x1p+-3", "0x1P-+3",
      "infinity", "-INF", "nan", "-NaN", "\t\n\v\f\r 5"};
  // clang-format on
  Comparison whole(kWhole);
  for (const std::string& text : edges) whole.check(text);
  std::mt19937_64 halfway_random(20260610);
  for (int i = 0; i < 4000; ++i) {
    const Decimal h = random_halfway(halfway_random);
    const auto style = static_cast<unsigned>(halfway_random());
    const char* sign = halfway_random() % 2 == 0 ? "" : "-";
    whole.check(joined({sign, written(h.digits, h.exponent, style)}));
    const int length = 17 + static_cast<int>(halfway_random() % 51);
    if (static_cast<int>(h.digits.size()) <= length) continue;
    std::string first = h.digits.substr(0, static_cast<std::size_t>(length));
    const int exponent = h.exponent + static_cast<int>(h.digits.size()) - length;
    whole.check(joined({sign, written(first, exponent, style + 1)}));
    if (first.back() == '9') continue;
    ++first.back();
    whole.check(joined({sign, written(first, exponent, style + 2)}));
  }
  std::mt19937_64 random(67);
  for (int i = 0; i < 20000; ++i) {
    std::string digits(17 + random() % 51, '0');
    for (char& digit : digits) digit = static_cast<char>('0' + random() % 10);
    digits.front() = static_cast<char>('1' + random() % 9);
    // The decimal exponent of the value: near the smallest subnormal, the smallest normal,
    // the largest double, or anywhere.
    static constexpr int kCentres[] = {-324, -308, 308, 0};
    const int centre = kCentres[random() % 4];
    const int spread = centre == 0 ? 600 : 7;
    const int position = centre + static_cast<int>(random() % spread) - spread / 2;
    const int exponent = position - static_cast<int>(digits.size());
    whole.check(written(digits, exponent, static_cast<unsigned>(random())));
  }
  EXPECT_EQ(whole.mismatches(), 0);
  Comparison item(kItem);
  for (int i = 0; i < 5000; ++i) {
    std::string text(60 + random() % 24, '0');
    for (char& digit : text) digit = static_cast<char>('0' + random() % 10);
    text[random() % text.size()] = '.';
    item.check(text + "e" + std::to_string(static_cast<int>(random() % 120) - 80));
  }
  EXPECT_EQ(item.mismatches(), 0);
}

}  // namespace
}  // namespace zepa
