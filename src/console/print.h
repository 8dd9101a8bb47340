#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zepa {

// End actions: flag bits performed after a print item.
inline constexpr int kEndNone = 0;   // the next item follows on the same line
inline constexpr int kEndLine = 1;   // a line end (13, 10)
inline constexpr int kEndZone = 2;   // blanks up to the next 14-column print zone
inline constexpr int kEndLine4 = 4;  // a line end, as 1

// Print operations. Channel 0 is the console, 1..255 file channels; any other number names
// nothing and the call does nothing. The result is 0, or the first failing result code of the
// channel's writes (the program flow ignores it; the memo writer uses it to warn).
int print_text(int channel, std::string_view text, int end_action);
int print_number(int channel, float value, int end_action);
int print_end(int channel, int end_action);

// The console channel (channel 0): its column since the last line end, its width (the view's
// width when first used) and the put-back store of redirected standard input.
struct ConsoleChannel {
  bool ready = false;
  std::uint32_t column = 0;
  std::int32_t width = 0;
  unsigned char put_back[4] = {};
  int put_back_count = 0;
};

// The console channel, set up on first use (column from the cursor, width from the view).
ConsoleChannel& console_channel();
void reset_console_channel();

// The column rule shared by all channels: after the last 13 or 10 in the bytes the column is
// the count of bytes after it, otherwise it grows by n; then modulo a width that is not 0.
void advance_column(std::uint32_t& column, std::int32_t width, const unsigned char* bytes,
                    std::size_t n);

}  // namespace zepa
