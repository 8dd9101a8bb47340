#pragma once

#include <cstddef>
#include <cstring>

namespace zepa {

// Copies n bytes between buffers that do not overlap. The texts of a dialogue and of a memo
// are short (labels, numbers): up to 32 bytes go as two overlapping moves of a fixed size,
// which the compiler makes inline, where a library call would cost more than the copy.
inline void copy_bytes(void* to_buffer, const void* from_buffer, std::size_t n) {
  auto* to = static_cast<unsigned char*>(to_buffer);
  const auto* from = static_cast<const unsigned char*>(from_buffer);
  if (n > 32) {
    std::memcpy(to, from, n);
  } else if (n >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

}  // namespace zepa
