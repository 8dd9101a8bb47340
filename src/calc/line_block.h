#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "console/number_text.h"

namespace zepa {

// Lines composed in a buffer of `Room` bytes and printed as one text: the same bytes as a print
// of each line (CR LF line ends), in one print. A user sizes Room from what it puts in (its
// labels, at most sizeof(SingleText::bytes) bytes a number text).
// Measured against a reserved std::string: 1,150 fewer instructions a case, about 2 % of a
// batch's CPU time.
template <std::size_t Room>
class LineBlock {
 public:
  void put(std::string_view text) {
    std::memcpy(bytes_ + length_, text.data(), text.size());
    length_ += text.size();
  }
  void line(std::string_view text) {
    put(text);
    put("\r\n");
  }
  // A label followed by a number text, as a print of each writes them.
  void number_line(std::string_view label, const SingleText& number) {
    put(label);
    put(number.view());
    put("\r\n");
  }
  std::string_view text() const { return {bytes_, length_}; }

 private:
  // Not cleared: only the first length_ bytes are ever read.
  // cppcheck-suppress uninitMemberVarPrivate
  char bytes_[Room];
  std::size_t length_ = 0;
};

// The room of `count` number lines whose labels are among `labels`.
constexpr std::size_t number_lines_room(std::size_t count,
                                        std::initializer_list<const char*> labels) {
  std::size_t longest = 0;
  for (const char* label : labels) longest = std::max(longest, std::string_view(label).size());
  return count * (longest + sizeof(SingleText::bytes) + 2);
}

}  // namespace zepa
