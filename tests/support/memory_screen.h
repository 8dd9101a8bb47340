#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/screen_buffer.h"

namespace zepa::testing {

// A console screen buffer in memory: W x B cells of a byte and an attribute, a window of rows
// that may be shorter than the buffer, a cursor with its visibility, and counters of what the
// console writer asked for. Its host, as documented of each:
// - kClassic, the classic console host: a buffer that may be taller than its window, which the
//   program moves; a line feed at the last row moves the buffer up like any move of cells.
// - kPseudoConsole, ConPTY (Windows Terminal): the buffer is as tall as the window; moving the
//   window resizes the buffer; a line feed at the last row sends the top row to the terminal's
//   scrollback, a move of cells sends nothing there.
class MemoryScreen : public ScreenBuffer {
 public:
  enum class Host { kClassic, kPseudoConsole };

  // A buffer of `width` x `height` cells filled with `fill` in attribute 7; the window shows
  // rows 0 .. window_rows-1 (the whole buffer when window_rows is 0).
  MemoryScreen(int width, int height, int window_rows = 0, char fill = ' ');

  bool read_info(ScreenInfo& info) override;
  bool put_cells(int x, int y, const unsigned char* bytes, int count,
                 std::uint16_t attribute) override;
  void scroll_up(int left, int top, int right, int bottom, int n, std::uint16_t attribute) override;
  void feed_lines(int width, int height, int n, std::uint16_t attribute) override;
  void blank_row(int y, int left, int right, std::uint16_t attribute) override;
  void set_cursor(int x, int y) override;
  void set_window(int left, int top, int right, int bottom) override;
  bool cursor_visible() override { return visible; }
  void set_cursor_visible(bool shown) override { visible = shown; }
  void beep() override { ++beeps; }
  void flush() override { ++flushes; }
  bool take_resize() override {
    const bool was = resized;
    resized = false;
    return was;
  }
  bool rewraps_on_resize() const override { return rewraps; }
  // A terminal's new size: a blank buffer of w x h, all of it the window, the cursor at the
  // start of the last row, and a resize to take.
  void lay_out_again(int w, int h);
  // The user resizes a Windows console's window to w x h: each row is cut into rows of w cells
  // (rows are never joined: the program draws cells, which carry no wrap), the cursor stays on
  // its character, blank rows after the cursor's go first. The classic host keeps its buffer's
  // height, moves the window the least that shows the cursor, and reports a resize when the
  // width changed; ConPTY's buffer is the new window, the rows above it go to the scrollback.
  void resize_window(int w, int h);

  // Row y as text (W bytes), attribute of one cell.
  std::string row(int y) const;
  std::uint16_t attribute_at(int x, int y) const;
  // Rows first .. first+count-1, or the window's rows.
  std::vector<std::string> rows(int first, int count) const;
  std::vector<std::string> window() const;
  // What the user can scroll back to: the rows above the window, or ConPTY's scrollback.
  std::vector<std::string> history() const;
  // Writes `text` at (x, y) without the console writer, for set-ups.
  void draw(int x, int y, const std::string& text);

  int width;
  int height;
  int window_top = 0;
  int window_bottom;
  int cursor_x = 0;
  int cursor_y = 0;
  std::uint16_t attribute = 7;
  bool visible = true;

  Host host = Host::kClassic;
  bool rewraps = false;                 // rewraps_on_resize()
  std::vector<std::string> scrollback;  // ConPTY: rows the terminal keeps above its screen
  int window_moves = 0;                 // set_window calls that changed something
  bool any_size = false;                // draws in one row or one column, as a terminal does
  bool resized = false;                 // take_resize() has a resize to report
  bool fail_reads = false;              // read_info reports no console
  bool refuse_cells = false;            // put_cells refuses every run
  int beeps = 0;
  int flushes = 0;
  int reads = 0;
  int put_calls = 0;
  long cells_written = 0;
  int scrolls = 0;

 private:
  bool inside(int x, int y) const { return x >= 0 && x < width && y >= 0 && y < height; }
  // Makes the buffer w x h with `rows` from its top (cut or filled with blanks).
  void reshape(int w, int h, const std::vector<std::string>& rows);
  std::vector<unsigned char> bytes_;
  std::vector<std::uint16_t> attributes_;
};

}  // namespace zepa::testing
