#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The digits and powers of ten that the number code reads and writes with: the one place
// that holds them.

namespace zepa {

// Whether `c` is a decimal digit.
constexpr bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

// The value of `c` as a digit of radix 16 (0-9, a-f, A-F), or 16 when it is none: so a digit
// of radix r (2 to 16) is one whose value is below r.
constexpr unsigned digit_value(char c) {
  if (is_digit(c)) return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

constexpr std::array<std::uint64_t, 20> powers_of_ten() {
  std::array<std::uint64_t, 20> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}

// 10^0 .. 10^19, every power of ten that a 64-bit integer holds.
inline constexpr std::array<std::uint64_t, 20> kPowersOfTen = powers_of_ten();

constexpr std::array<double, 20> powers_of_ten_as_doubles() {
  std::array<double, 20> powers{};
  for (std::size_t i = 0; i < powers.size(); ++i) {
    powers[i] = static_cast<double>(kPowersOfTen[i]);
  }
  return powers;
}

// The same powers as doubles, each exact (10^k is 5^k × 2^k, and 5^19 is below 2^53).
inline constexpr std::array<double, 20> kPowersOfTenAsDoubles = powers_of_ten_as_doubles();

}  // namespace zepa
