#pragma once

#include <cstdint>

namespace zepa {

// One reading of the console's screen buffer: size W x B, cursor cell, current colour
// attribute and the first and last rows of the visible window.
struct ScreenInfo {
  int width = 0;
  int height = 0;
  int cursor_x = 0;
  int cursor_y = 0;
  std::uint16_t attribute = 7;
  int window_top = 0;
  int window_bottom = 0;
  // The grid draws in a window of one row or a buffer of one column (a terminal's own copy of
  // its cells). A Windows console of that size counts as no console, as it always has.
  bool any_size = false;
};

// The cell grid the console writer draws on. Coordinates are absolute buffer cells counted
// from 0. Implementations: the Windows console, a POSIX terminal (a copy of the cells in
// memory, taller than the terminal, whose window the terminal shows) and an in-memory buffer
// for tests.
class ScreenBuffer {
 public:
  virtual ~ScreenBuffer() = default;

  // Fills `info`; false when standard output is no console.
  virtual bool read_info(ScreenInfo& info) = 0;
  // Puts `count` cells on row y from column x without moving the cursor; false if refused.
  virtual bool put_cells(int x, int y, const unsigned char* bytes, int count,
                         std::uint16_t attribute) = 0;
  // Moves rows top+n..bottom (columns left..right) up to top..bottom-n; the n rows left at the
  // bottom become blanks in `attribute`.
  virtual void scroll_up(int left, int top, int right, int bottom, int n,
                         std::uint16_t attribute) = 0;
  // Moves the whole buffer (width x height) up by n rows as n line feeds written at its last row
  // do: the top rows leave it, the n bottom rows become blanks in `attribute`. A host that keeps
  // a terminal's scrollback (a pseudo console) passes the rows that leave to it, which a move of
  // cells (scroll_up) never does. The cursor ends on the last row; the caller places it after.
  virtual void feed_lines(int width, int height, int n, std::uint16_t attribute) {
    scroll_up(0, 0, width - 1, height - 1, n, attribute);
  }
  // Sets the cells left..right of row y to blanks in `attribute`.
  virtual void blank_row(int y, int left, int right, std::uint16_t attribute) = 0;
  virtual void set_cursor(int x, int y) = 0;
  // Moves the visible window to the given absolute rectangle.
  virtual void set_window(int left, int top, int right, int bottom) = 0;
  virtual bool cursor_visible() = 0;
  virtual void set_cursor_visible(bool visible) = 0;
  // 1000 Hz for 250 ms, or the nearest the platform has; returns when done.
  virtual void beep() = 0;
  // Sends what the calls since the last flush produced; a terminal sends it in one write.
  virtual void flush() {}
  // True once after the window changed its size or the program came back from a stop with a
  // new size: the buffer has been laid out again at the new width and the cursor stands at the
  // start of a fresh row at the window's bottom. Whoever draws must read the geometry again;
  // the console writer does at its next call.
  virtual bool take_resize() { return false; }
  // How the buffer follows a new window size: false, a terminal's copy laid out afresh as
  // take_resize() says; true, the host (the Windows console) has re-wrapped its rows at the new
  // width, with the cursor kept on its character and the rows after it wherever the re-wrap put
  // them. take_resize() then says only that the size changed.
  virtual bool rewraps_on_resize() const { return false; }
};

// A standard output that is no console: every reading fails, so console output goes to it
// unchanged. Stands in where no screen is installed, and in tests of redirected runs.
class NoScreen final : public ScreenBuffer {
 public:
  bool read_info(ScreenInfo&) override { return false; }
  bool put_cells(int, int, const unsigned char*, int, std::uint16_t) override { return false; }
  void scroll_up(int, int, int, int, int, std::uint16_t) override {}
  void blank_row(int, int, int, std::uint16_t) override {}
  void set_cursor(int, int) override {}
  void set_window(int, int, int, int) override {}
  bool cursor_visible() override { return true; }
  void set_cursor_visible(bool) override {}
  void beep() override {}
};

}  // namespace zepa
