#include "platform/terminal_grid.h"

#include <algorithm>
#include <cstring>

#include "platform/cp1252.h"

namespace zepa {

namespace {

constexpr char kHideCursor[] = "\x1b[?25l";
constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kEraseToEnd[] = "\x1b[K";

void append_number(std::string& out, int value) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) out += digits[--n];
}

bool blank(const unsigned char* cells, int count) {
  return std::all_of(cells, cells + count, [](unsigned char c) { return c == ' '; });
}

}  // namespace

TerminalGrid::TerminalGrid(int max_rows, Charset charset, std::size_t max_cells)
    : max_rows_(max_rows), max_cells_(max_cells), charset_(charset) {}

bool TerminalGrid::read_info(ScreenInfo& info) {
  if (cols_ == 0) return false;
  info.width = cols_;
  info.height = buffer_rows_;
  info.cursor_x = cursor_x_;
  info.cursor_y = cursor_y_;
  info.attribute = 7;
  info.window_top = top_;
  info.window_bottom = top_ + rows_ - 1;
  info.any_size = true;
  return true;
}

bool TerminalGrid::put_cells(int x, int y, const unsigned char* bytes, int count, std::uint16_t) {
  if (y < 0 || y >= buffer_rows_ || x < 0 || count < 0 || x + count > cols_) return false;
  std::memcpy(cell(x, y), bytes, static_cast<std::size_t>(count));
  if (repaint_ || !shown(y)) return true;
  move_to(x, y - top_);
  for (int i = 0; i < count; ++i) append_cell(bytes[i]);
  // After the last column the terminal waits to wrap; where it then stands is its own affair.
  if (x + count < cols_) {
    term_x_ = x + count;
  } else {
    forget_terminal_cursor();
  }
  return true;
}

void TerminalGrid::scroll_up(int left, int top, int right, int bottom, int n, std::uint16_t) {
  top = std::max(top, 0);
  bottom = std::min(bottom, buffer_rows_ - 1);
  left = std::max(left, 0);
  right = std::min(right, cols_ - 1);
  if (n <= 0 || top > bottom || left > right) return;
  if (top == 0 && bottom == buffer_rows_ - 1 && left == 0 && right == cols_ - 1) {
    scroll_buffer(std::min(n, buffer_rows_));
    return;
  }
  // Part of the buffer (a text region shorter than the window): moved in the copy, then the
  // window painted again, as a terminal cannot move part of a row.
  const auto width = static_cast<std::size_t>(right - left) + 1;
  for (int y = top; y <= bottom; ++y) {
    if (y + n <= bottom) {
      std::memcpy(cell(left, y), cell(left, y + n), width);
    } else {
      std::memset(cell(left, y), ' ', width);
    }
  }
  if (bottom >= top_ && top < top_ + rows_) repaint_ = true;
}

void TerminalGrid::blank_row(int y, int left, int right, std::uint16_t) {
  left = std::max(left, 0);
  right = std::min(right, cols_ - 1);
  if (y < 0 || y >= buffer_rows_ || left > right) return;
  std::memset(cell(left, y), ' ', static_cast<std::size_t>(right - left) + 1);
  if (repaint_ || !shown(y)) return;
  move_to(left, y - top_);
  if (right == cols_ - 1) {
    out_ += kEraseToEnd;
  } else {
    out_.append(static_cast<std::size_t>(right - left) + 1, ' ');
    term_x_ = right + 1;
  }
}

void TerminalGrid::set_cursor(int x, int y) {
  if (x < 0 || x >= cols_ || y < 0 || y >= buffer_rows_) return;
  cursor_x_ = x;
  cursor_y_ = y;
}

void TerminalGrid::set_window(int, int top, int, int) {
  top = std::clamp(top, 0, buffer_rows_ - rows_);
  if (top == top_) return;
  top_ = top;
  repaint_ = true;
}

void TerminalGrid::lay_out(int cols, int rows) {
  cols_ = cols;
  const std::size_t fit = max_cells_ / static_cast<std::size_t>(cols);
  buffer_rows_ =
      static_cast<int>(std::clamp<std::size_t>(fit, 1, static_cast<std::size_t>(max_rows_)));
  term_rows_ = rows;
  rows_ = std::min(rows, buffer_rows_);
  cells_.assign(static_cast<std::size_t>(cols_) * static_cast<std::size_t>(buffer_rows_), ' ');
  first_ = 0;
  top_ = buffer_rows_ - rows_;
  cursor_x_ = 0;
  cursor_y_ = top_;
  forget_terminal_cursor();
}

void TerminalGrid::lay_out_again(int cols, int rows) {
  std::vector<unsigned char> old = std::move(cells_);
  const int old_cols = cols_;
  const int old_first = first_;
  const int old_rows = buffer_rows_;
  const int last = cursor_y_;
  auto old_row = [&](int y) {
    return old.data() + static_cast<std::size_t>((old_first + y) % old_rows) *
                            static_cast<std::size_t>(old_cols);
  };
  const bool fresh = cursor_x_ == 0 && blank(old_row(last), old_cols);
  lay_out(cols, rows);
  const int shift = buffer_rows_ - (fresh ? 1 : 2) - last;
  const auto width = static_cast<std::size_t>(std::min(old_cols, cols_));
  for (int y = fresh ? last - 1 : last; y >= 0 && y + shift >= 0; --y) {
    std::memcpy(cell(0, y + shift), old_row(y), width);
  }
  cursor_y_ = buffer_rows_ - 1;
  out_.clear();
  bells_ = 0;
  repaint_ = true;
}

void TerminalGrid::repaint() {
  repaint_ = true;
  forget_terminal_cursor();
}

std::string TerminalGrid::compose(bool& hidden) {
  // The window follows the cursor, as a console's window does.
  if (cursor_y_ < top_) set_window(0, cursor_y_, 0, 0);
  if (cursor_y_ >= top_ + rows_) set_window(0, cursor_y_ - rows_ + 1, 0, 0);
  if (repaint_) {
    out_.clear();
    out_ += kHideCursor;
    hidden = true;
    paint_window();
  }
  out_.append(static_cast<std::size_t>(bells_), '\a');
  bells_ = 0;
  move_to(cursor_x_, cursor_y_ - top_);
  if (visible_ == hidden) {
    out_ += visible_ ? kShowCursor : kHideCursor;
    hidden = !visible_;
  }
  std::string out;
  out.swap(out_);
  return out;
}

std::string TerminalGrid::row(int y) const {
  const unsigned char* start = cell(0, y);
  return std::string(start, start + cols_);
}

const unsigned char* TerminalGrid::cell(int x, int y) const {
  const int ring_row = (first_ + y) % buffer_rows_;
  return cells_.data() + static_cast<std::size_t>(ring_row) * static_cast<std::size_t>(cols_) +
         static_cast<std::size_t>(x);
}

unsigned char* TerminalGrid::cell(int x, int y) {
  return const_cast<unsigned char*>(static_cast<const TerminalGrid*>(this)->cell(x, y));
}

// The whole buffer moves up by n rows. With the window at the buffer's bottom the terminal
// scrolls the same rows with line feeds on its bottom row, which sends the rows scrolled out to
// its scrollback; otherwise the window is painted again.
void TerminalGrid::scroll_buffer(int n) {
  for (int i = 0; i < n; ++i) std::memset(cell(0, i), ' ', static_cast<std::size_t>(cols_));
  first_ = (first_ + n) % buffer_rows_;
  // A window shorter than the terminal is not at its bottom row, where a line feed scrolls.
  if (repaint_ || top_ + rows_ != buffer_rows_ || rows_ != term_rows_) {
    repaint_ = true;
    return;
  }
  move_to(0, rows_ - 1);
  out_.append(static_cast<std::size_t>(std::min(n, rows_)), '\n');
  forget_terminal_cursor();
}

// Every row of the window from the copy; trailing blanks are erased rather than sent.
void TerminalGrid::paint_window() {
  forget_terminal_cursor();
  for (int r = 0; r < rows_; ++r) {
    const unsigned char* cells = cell(0, top_ + r);
    int length = cols_;
    while (length > 0 && cells[length - 1] == ' ') --length;
    move_to(0, r);
    for (int x = 0; x < length; ++x) append_cell(cells[x]);
    // A full row leaves the terminal waiting to wrap, where EL would erase the last cell.
    if (length < cols_) out_ += kEraseToEnd;
    forget_terminal_cursor();
  }
  repaint_ = false;
}

// To (x, row) of the terminal's screen, counted from 0.
void TerminalGrid::move_to(int x, int row) {
  if (x == term_x_ && row == term_y_) return;
  out_ += "\x1b[";
  append_number(out_, row + 1);
  out_ += ';';
  append_number(out_, x + 1);
  out_ += 'H';
  term_x_ = x;
  term_y_ = row;
}

// One cell, one character: bytes the terminal would take as controls, and bytes its character
// set cannot show, get a visible stand-in.
void TerminalGrid::append_cell(unsigned char byte) {
  if (byte >= 0x20 && byte < 0x7F) {
    out_ += static_cast<char>(byte);
    return;
  }
  if (charset_ == Charset::kUtf8) {
    char encoded[4];
    out_.append(encoded, encode_utf8(cp1252_cell_char(byte), encoded));
  } else if (charset_ == Charset::kLatin1 && byte >= 0xA0) {
    out_ += static_cast<char>(byte);
  } else {
    out_ += '?';
  }
}

}  // namespace zepa
