#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/screen_buffer.h"

namespace zepa {

// How the terminal encodes characters: bytes 128-255 of the cells are drawn in it.
enum class Charset { kUtf8, kLatin1, kAscii };

// A terminal's screen as the console writer sees it, kept in memory: a copy of the cells (up to
// `max_rows` rows of the terminal's width, and never more than `max_cells` cells, so a very wide
// terminal gets fewer rows) of which the terminal shows a window of its height, as a Windows
// console shows a window of its screen buffer. A terminal taller than the copy can hold is used
// from its top row down to the copy's height. Every change goes to the
// copy; what falls in the window is also turned into the bytes that draw it, which compose()
// hands over for one write. No system call here: the POSIX backend owns the descriptor and the
// signals (terminal_state_posix.h lists the escape sequences).
class TerminalGrid : public ScreenBuffer {
 public:
  TerminalGrid(int max_rows, Charset charset, std::size_t max_cells = kMaxCells);

  // 8 Mi cells, one byte each: with the old copy alive while a resize lays out the new one,
  // the copy never takes more than 16 MiB.
  static constexpr std::size_t kMaxCells = std::size_t{8} << 20;

  bool read_info(ScreenInfo& info) override;
  bool put_cells(int x, int y, const unsigned char* bytes, int count,
                 std::uint16_t attribute) override;
  void scroll_up(int left, int top, int right, int bottom, int n, std::uint16_t attribute) override;
  void blank_row(int y, int left, int right, std::uint16_t attribute) override;
  void set_cursor(int x, int y) override;
  // Moves the window (only its top counts); it is then painted whole.
  void set_window(int left, int top, int right, int bottom) override;
  bool cursor_visible() override { return visible_; }
  void set_cursor_visible(bool visible) override { visible_ = visible; }
  void beep() override { ++bells_; }

  // A blank copy for a terminal of cols x rows, the window at the buffer's bottom rows, the
  // cursor in its top-left cell.
  void lay_out(int cols, int rows);
  // The copy at a new size: its rows down to the cursor's are kept (cut or filled out to the
  // new width), ending at the buffer's last row but one, and the last row is a fresh one where
  // the cursor goes; a cursor at the start of a blank row keeps that row as the fresh one. The
  // window goes to the bottom and is painted whole.
  void lay_out_again(int cols, int rows);
  // The window painted whole at the next compose (the terminal showed something else).
  void repaint();
  // The terminal's own cursor is no longer where the bytes left it (a signal, a command).
  void forget_terminal_cursor() { term_x_ = term_y_ = -1; }

  // The bytes that bring the terminal up to date: the window follows the cursor, is painted
  // whole if it must be, the bell, the cursor's cell and its visibility. `hidden` is whether
  // the terminal was last told to hide the cursor, and is updated. Empty when nothing changed.
  std::string compose(bool& hidden);

  Charset charset() const { return charset_; }
  void set_charset(Charset charset) { charset_ = charset; }
  int cols() const { return cols_; }
  int rows() const { return rows_; }
  int terminal_rows() const { return term_rows_; }
  int window_top() const { return top_; }
  // Row y of the copy as text (for tests).
  std::string row(int y) const;

 private:
  const unsigned char* cell(int x, int y) const;
  unsigned char* cell(int x, int y);
  bool shown(int y) const { return y >= top_ && y < top_ + rows_; }
  void scroll_buffer(int n);
  void paint_window();
  void move_to(int x, int row);
  void append_cell(unsigned char byte);

  int max_rows_;
  std::size_t max_cells_;
  int buffer_rows_ = 0;
  Charset charset_;
  std::vector<unsigned char> cells_;  // buffer_rows_ rows of cols_ cells, a ring from first_
  int first_ = 0;
  int cols_ = 0;
  int rows_ = 0;       // the window's height: the terminal's, or the copy's when that is less
  int term_rows_ = 0;  // the terminal's height
  int top_ = 0;        // the buffer row shown on the terminal's top row
  int cursor_x_ = 0;   // the cursor as the console writer placed it
  int cursor_y_ = 0;
  bool visible_ = true;
  bool repaint_ = false;  // the window is to be painted whole at the next compose
  int bells_ = 0;         // beeps since the last compose, each one BEL
  std::string out_;
  int term_x_ = -1;  // where the terminal's own cursor stands after out_; -1: unknown
  int term_y_ = -1;
};

}  // namespace zepa
