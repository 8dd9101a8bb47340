#pragma once

#include <cstddef>
#include <cstdint>

namespace zepa {

// The console's runtime operations (this header, print.h, keyboard.h, line_input.h) form one
// contract. The dialogue calls only part of it; these complete it with no caller in the
// dialogue, held to their behaviour by the unit tests: the print zones (kEndZone) and the
// second line-end action (kEndLine4), print_number, read_key, the clearing modes other than
// the default, and locate with coordinates.

// Modes of clear_screen.
inline constexpr std::uint32_t kClearDefault = 0xFFFF0000u;  // blank the text region
inline constexpr std::uint32_t kClearNothing = 1;            // only reset the column
inline constexpr std::uint32_t kClearRegion = 2;             // as the default mode
inline constexpr std::uint32_t kClearView = 0;  // the view's rows; so does any other mode

// Sets the console up; the first console operation (any function of this header, and a print
// to channel 0) calls it, later calls do nothing. Once: the key source's input mode (processed
// input on the Windows console, raw mode on a terminal), the reading of the view, and the
// console channel's column (from the cursor) and width (the view's).
void console_setup();

// The console channel (channel 0): its column since the last line end and its width. The
// record of the console that console_setup filled in.
struct ConsoleChannel {
  std::uint32_t column = 0;
  std::int32_t width = 0;
};
ConsoleChannel& console_channel();

// Whether console_write only carries out a pending line advance and places the cursor.
enum class Settle : bool { kNo = false, kYes = true };

// Draws bytes on the console grid: control bytes 7, 8, 9, 10, 13 act, every other byte is a
// cell; wraps at the right edge, scrolls the text region, lets the window follow the cursor.
// The geometry is read at the start of each write, so a resized window is drawn in at its new
// size; a buffer as tall as its window scrolls whole, by line feeds.
// A write that ends in the region's last cell defers its line advance to the next write. With
// a degenerate view (standard output is no console) the bytes go unchanged to standard output.
// With length 0 and Settle::kYes it only carries out a pending line advance and places the
// cursor.
void console_write(const unsigned char* bytes, std::size_t length, Settle settle = Settle::kNo);

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

// locate's coordinate that keeps the cursor's row or column as it is.
inline constexpr int kKeepCoordinate = 0;

enum class CursorVisibility { kHide = 0, kShow = 1, kKeep = -1 };

// Where locate left the cursor (view-relative, counted from 1; 0, 0 when the buffer can't be
// read) and whether the cursor was visible before the call.
struct LocateResult {
  int col = 0;
  int row = 0;
  bool was_visible = false;
};

// Moves the cursor to a view-relative row/column counted from 1 (kKeepCoordinate keeps that
// coordinate); a row outside the text region or a column outside 1..W, any other value
// included, is refused, and then only the visibility is applied.
LocateResult locate(int row, int col, CursorVisibility visibility);

// Shows or hides the cursor where it stands: locate with both coordinates kept. True when it
// was visible before.
bool show_cursor(bool shown);

// After the screen's window changed its size (or the program came back from a stop to a new
// size): true once, with the cursor at the start of a fresh row (the console channel's column
// 0); the caller shows again there what it was showing. `rest` is how many cells of what it
// shows follow the cursor (the rest of a line being edited): where the host re-wrapped its rows
// (the Windows console), their pieces below the cursor are blanked before the fresh row. The
// writer itself follows a resize at its next call: the view read again, the new window's
// height taken as the text region, no deferred advance. False otherwise.
bool console_take_resize(std::size_t rest = 0);

// The buffer as the line editor sees it: W x B, the cursor's absolute cell and the window's
// first and last rows; 80 x 25 with everything at 0 (and the window 0..24) when it cannot be
// read.
struct ConsoleGrid {
  int width;
  int height;
  int cursor_x;
  int cursor_y;
  int window_top;
  int window_bottom;
};
ConsoleGrid console_grid();

// Puts the cursor on the absolute buffer cell (x, y), any row of the buffer, and moves the
// window the least that shows it, as a console's window follows its cursor. Clears the
// deferred advance. False, and nothing done, for a cell outside the buffer or a degenerate view.
bool place_cursor(int x, int y);

// How many rows the contents of the buffer (or of the text region) have moved up through
// scrolling since the reset: a caller that knows where its text stood follows it with this.
std::uint64_t console_scrolled_rows();

// Whether console output goes unchanged to standard output (no console grid): known once
// console_setup has run, false before.
bool console_is_degenerate();

// Forgets the view, the text region, the deferred advance, the console channel and the set-up
// (start-up and tests).
void reset_console_state();

}  // namespace zepa
