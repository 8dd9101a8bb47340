#pragma once

#include <cstddef>
#include <cstdint>

namespace zepa {

// The default mode of clear_screen: blank the text region.
inline constexpr std::uint32_t kClearDefault = 0xFFFF0000u;

// First call only: fetches the console handles and sets the console input mode.
void console_setup();

// Draws bytes on the console grid: control bytes 7, 8, 9, 10, 13 act, every other byte is a
// cell; wraps at the right edge, scrolls the text region, lets the window follow the cursor.
// A write that ends in the region's last cell defers its line advance to the next write. With
// a degenerate view (standard output is no console) the bytes go unchanged to standard output.
// With length 0 and `settle` set it only carries out a pending line advance and places the
// cursor.
void console_write(const unsigned char* bytes, std::size_t length, bool settle);

// Sends what has been drawn on a console to the screen now (a terminal gathers its output
// until the next key is read). Output that goes to standard output keeps its buffer.
void console_flush();

// Blanks the text region (default mode and mode 2) or the view's rows (other modes except 1),
// puts the cursor in the top-left cleared cell and resets the console channel's column.
void clear_screen(std::uint32_t mode);

struct ConsoleSize {
  int width;
  int height;
};
// (W, window height) of the view; (80, 25) when the view is degenerate.
ConsoleSize console_size();

struct CursorCell {
  int col;
  int row;
};
// The cursor counted from 1 at the view's top-left cell; (0, 0) when the buffer can't be read.
CursorCell cursor_position();

// Moves the cursor to a view-relative row/column counted from 1 (0 keeps that coordinate);
// a row outside the text region or a column outside 1..W is refused and only the visibility
// (1 show, 0 hide, negative unchanged) is applied. Bits 0-7: column reached, 8-15: row reached,
// 16: whether the cursor was visible before.
std::uint32_t locate(int row, int col, int visible);

// Whether console output goes unchanged to standard output (no console grid).
bool console_is_degenerate();

// Forgets the view, the text region, the deferred advance and the set-up (start-up and tests).
void reset_console_state();

}  // namespace zepa
