// Included before every source of the WebAssembly build only. The C++ library that Emscripten
// 3.1 ships lacks std::bit_cast, which the sources use; this gives it over the compiler's
// builtin. The page's test compares the results with the native program's on thousands of
// cases.
#pragma once

namespace std {

template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}

}  // namespace std
