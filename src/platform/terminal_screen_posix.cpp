// The console's screen buffer on a POSIX terminal. The terminal has no buffer of its own that
// the program can read back, so this file keeps one: a copy of the cells, kBufferRows rows of
// the terminal's width, of which the terminal shows a window of its height, as a Windows
// console shows a window of its screen buffer. Every change goes to the copy; what falls in
// the window is also sent to the terminal. The window follows the cursor: when it has to move
// (a line longer than the window, edited at its start), it is painted again from the copy.
// Scrolling with the window at the buffer's bottom is sent as line feeds on the terminal's
// bottom row, so that the rows scrolled out still go to the terminal's scrollback.
//
// Escape sequences sent to the terminal (VT100 / ECMA-48; xterm, tmux, screen, the Linux
// console and their kin all have them):
//   ESC [ row ; col H    CUP      move the cursor (counted from 1): before a run of cells, and
//                                 to the cursor's cell before the program waits
//   ESC [ K              EL       erase from the cursor to the end of the row, in the current
//                                 colours (blanking a row up to the right edge)
//   ESC [ ? 25 l         DECTCEM  hide the cursor
//   ESC [ ? 25 h         DECTCEM  show the cursor
//   LF (10)              on the bottom row: scroll the screen up one row; the top row goes to
//                                 the terminal's scrollback
//   BEL (7)              the beep
// No colour is ever set, and no scroll region: the copy does what a region would. The
// sequences that keys send are decoded above the platform, by the console's keyboard layer
// (console/key_decoder.cpp lists them).
//
// Output is gathered in one buffer and leaves in one write() at flush(). The terminal's cursor
// is tracked here, not asked of the terminal: every cell run starts with an absolute move, so
// the drawing never depends on where the terminal's cursor was.
//
// A change of the window's size (SIGWINCH), and a stop after which the size is not what it was,
// lay the copy out again at the new size: its rows down to the cursor's, cut or filled out to
// the new width, above a fresh row at the window's bottom where the cursor goes; the window is
// then painted whole. take_resize() tells the console writer, and through it the line editor,
// which shows its prompt and line on the fresh row. A stop after which the size is the same
// paints the window again from the copy. Both are noticed by the program's own flow
// (take_resize, flush), never in a signal handler, which only sets a flag.

#include <fcntl.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cp1252.h"
#include "platform/terminal.h"
#include "platform/terminal_shared_posix.h"

namespace zepa {

namespace terminal_posix {
volatile int g_output_fd = -1;
}  // namespace terminal_posix

namespace {

using terminal_posix::g_cursor_hidden;
using terminal_posix::g_output_fd;
using terminal_posix::g_resumed;
using terminal_posix::write_all;

constexpr char kHideCursor[] = "\x1b[?25l";
constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kEraseToEnd[] = "\x1b[K";

// As tall as a Windows console's default screen buffer: a line being edited that is longer
// than the window stays whole in the copy up to this many rows.
constexpr int kBufferRows = 9001;
// A terminal that does not know its size (0 rows or 0 columns, as `stty rows 0 cols 0` makes
// it report) is taken as 80 x 25, the size a console window opens with.
constexpr int kUnknownCols = 80;
constexpr int kUnknownRows = 25;

volatile std::sig_atomic_t g_resized = 0;  // SIGWINCH came

void on_resize(int) {
  g_resized = 1;
}

enum class Charset { kUtf8, kLatin1, kAscii };

// The character set of the user's locale (the program has set LC_CTYPE from the environment).
Charset locale_charset() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr) return Charset::kAscii;
  if (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0) return Charset::kUtf8;
  // ISO-8859-1 has Windows-1252's characters at 160-255 (ISO-8859-15 differs in eight of them).
  if (strcasecmp(codeset, "ISO-8859-1") == 0) return Charset::kLatin1;
  return Charset::kAscii;
}

void append_number(std::string& out, int value) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) out += digits[--n];
}

// The terminal to draw on: standard output if it is one; else, when standard input is a
// terminal (the dialogue is typed there while standard output records it), the controlling
// terminal opened afresh; else none.
int open_output() {
  if (isatty(STDOUT_FILENO)) return STDOUT_FILENO;
  if (!isatty(STDIN_FILENO)) return -1;
  return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

class TerminalScreen final : public ScreenBuffer {
 public:
  bool read_info(ScreenInfo& info) override {
    if (!set_up()) return false;
    info.width = cols_;
    info.height = kBufferRows;
    info.cursor_x = cursor_x_;
    info.cursor_y = cursor_y_;
    info.attribute = 7;
    info.window_top = top_;
    info.window_bottom = top_ + rows_ - 1;
    info.any_size = true;
    return true;
  }

  bool put_cells(int x, int y, const unsigned char* bytes, int count, std::uint16_t) override {
    if (!usable_ || y < 0 || y >= kBufferRows || x < 0 || count < 0 || x + count > cols_) {
      return false;
    }
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

  void scroll_up(int left, int top, int right, int bottom, int n, std::uint16_t) override {
    top = std::max(top, 0);
    bottom = std::min(bottom, kBufferRows - 1);
    left = std::max(left, 0);
    right = std::min(right, cols_ - 1);
    if (!usable_ || n <= 0 || top > bottom || left > right) return;
    if (top == 0 && bottom == kBufferRows - 1 && left == 0 && right == cols_ - 1) {
      scroll_buffer(std::min(n, kBufferRows));
      return;
    }
    // Part of the buffer (a text region shorter than the window): moved in the copy, then the
    // window painted again.
    for (int y = top; y <= bottom; ++y) {
      unsigned char* to = cell(left, y);
      const auto width = static_cast<std::size_t>(right - left + 1);
      if (y + n <= bottom) {
        std::memcpy(to, cell(left, y + n), width);
      } else {
        std::memset(to, ' ', width);
      }
    }
    if (bottom >= top_ && top < top_ + rows_) repaint_ = true;
  }

  void blank_row(int y, int left, int right, std::uint16_t) override {
    left = std::max(left, 0);
    right = std::min(right, cols_ - 1);
    if (!usable_ || y < 0 || y >= kBufferRows || left > right) return;
    std::memset(cell(left, y), ' ', static_cast<std::size_t>(right - left + 1));
    if (repaint_ || !shown(y)) return;
    move_to(left, y - top_);
    if (right == cols_ - 1) {
      out_ += kEraseToEnd;
    } else {
      out_.append(static_cast<std::size_t>(right - left) + 1, ' ');
      term_x_ = right + 1;
    }
  }

  void set_cursor(int x, int y) override {
    if (x < 0 || x >= cols_ || y < 0 || y >= kBufferRows) return;
    cursor_x_ = x;
    cursor_y_ = y;
  }

  void set_window(int, int top, int, int) override {
    top = std::clamp(top, 0, kBufferRows - rows_);
    if (top == top_) return;
    top_ = top;
    repaint_ = true;
  }

  bool cursor_visible() override { return visible_; }
  void set_cursor_visible(bool visible) override { visible_ = visible; }

  void beep() override {
    if (set_up()) {
      bell_ = true;
    } else if (isatty(STDERR_FILENO)) {
      write_all(STDERR_FILENO, "\a", 1);  // no terminal to draw on: ring the one we may have
    }
  }

  // The terminal learns the cursor's cell and visibility only here, so a hide and a show (or
  // moves) within one flush cost nothing; typing at the end of a line sends just the byte.
  void flush() override {
    if (!usable_) return;  // a redirected output never gets a cursor sequence
    catch_up();
    // The window follows the cursor, as a console's window does.
    if (cursor_y_ < top_) set_window(0, cursor_y_, 0, 0);
    if (cursor_y_ >= top_ + rows_) set_window(0, cursor_y_ - rows_ + 1, 0, 0);
    if (repaint_) paint_window();
    if (bell_) out_ += '\a';
    bell_ = false;
    move_to(cursor_x_, cursor_y_ - top_);
    const bool hide = !visible_;
    if (hide != (g_cursor_hidden != 0)) out_ += hide ? kHideCursor : kShowCursor;
    if (out_.empty()) return;
    if (hide) g_cursor_hidden = 1;  // set first: a signal during the write shows it again
    write_all(g_output_fd, out_.data(), out_.size());
    if (!hide) g_cursor_hidden = 0;
    out_.clear();
  }

  bool take_resize() override {
    if (!usable_) return false;
    catch_up();
    const bool laid_out = laid_out_;
    laid_out_ = false;
    return laid_out;
  }

  // Around a command that has the terminal: the cursor shown and everything sent; then the
  // visibility back and the window painted again from the copy.
  void leave() {
    away_visible_ = visible_;
    visible_ = true;
    flush();
  }
  void reenter() {
    visible_ = away_visible_;
    if (usable_) repaint_ = true;
    flush();
  }

  // Whether the user's locale encodes characters in UTF-8 (and typed characters arrive so).
  bool utf8() {
    probe();
    return charset_ == Charset::kUtf8;
  }

 private:
  // What the terminal is: found out at the first call, which comes after start-up has taken
  // the locale from the environment, and kept for the life of the process.
  void probe() {
    if (probed_) return;
    probed_ = true;
    charset_ = locale_charset();
    if (!terminal_addresses_cursor()) return;
    g_output_fd = open_output();
    if (g_output_fd < 0) return;
    usable_ = true;
    const Size size = read_size();
    lay_out(size.cols, size.rows);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_resize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // poll() returns at once whatever this says
    sigaction(SIGWINCH, &action, nullptr);
  }

  bool set_up() {
    probe();
    return usable_;
  }

  struct Size {
    int cols;
    int rows;
  };
  static Size read_size() {
    struct winsize size;
    std::memset(&size, 0, sizeof size);
    if (ioctl(g_output_fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
      return {kUnknownCols, kUnknownRows};
    }
    return {size.ws_col, std::min<int>(size.ws_row, kBufferRows)};
  }

  // A blank copy of the given size, the window at its bottom rows.
  void lay_out(int cols, int rows) {
    cols_ = cols;
    rows_ = rows;
    cells_.assign(static_cast<std::size_t>(cols_) * kBufferRows, ' ');
    first_ = 0;
    top_ = kBufferRows - rows_;
    cursor_x_ = 0;
    cursor_y_ = top_;
    forget_terminal_cursor();
  }

  // The copy at a new size: its rows down to the cursor's are kept (cut or filled out to the new
  // width), ending at the buffer's last row but one, and the last row is a fresh one for the
  // cursor; a cursor that stood at the start of a blank row keeps that row as the fresh one. The
  // window goes to the bottom and is painted whole, over whatever the terminal made of it.
  void lay_out_again(int cols, int rows) {
    const std::vector<unsigned char> old = std::move(cells_);
    const int old_cols = cols_;
    const int old_first = first_;
    const int last = cursor_y_;
    const unsigned char* cursor_row =
        old.data() + static_cast<std::size_t>((old_first + last) % kBufferRows) *
                         static_cast<std::size_t>(old_cols);
    const bool blank = cursor_x_ == 0 && std::all_of(cursor_row, cursor_row + old_cols,
                                                     [](unsigned char c) { return c == ' '; });
    lay_out(cols, rows);
    const int shift = (kBufferRows - (blank ? 1 : 2)) - last;
    const auto width = static_cast<std::size_t>(std::min(old_cols, cols));
    for (int y = blank ? last - 1 : last; y >= 0 && y + shift >= 0; --y) {
      const std::size_t from = static_cast<std::size_t>((old_first + y) % kBufferRows) *
                               static_cast<std::size_t>(old_cols);
      std::memcpy(cell(0, y + shift), old.data() + from, width);
    }
    cursor_y_ = kBufferRows - 1;
    out_.clear();
    repaint_ = true;
  }

  // Takes in what the signal handlers noted. A new size: the copy laid out again for it (what
  // was drawn for the old size and not yet sent is in the copy, and goes with the repaint).
  // The same size after a stop: the whole window painted again over what the shell wrote
  // meanwhile.
  void catch_up() {
    if (!g_resized && !g_resumed) return;
    const bool resumed = g_resumed != 0;
    g_resized = 0;
    g_resumed = 0;
    if (resumed) forget_terminal_cursor();
    const Size size = read_size();
    if (size.cols == cols_ && size.rows == rows_) {
      if (resumed) repaint_ = true;
      return;
    }
    lay_out_again(size.cols, size.rows);
    laid_out_ = true;
  }

  // The whole buffer moves up by n rows; with the window at the buffer's bottom the terminal
  // scrolls the same rows with line feeds on its bottom row.
  void scroll_buffer(int n) {
    for (int i = 0; i < n; ++i) {
      std::memset(cell(0, i), ' ', static_cast<std::size_t>(cols_));
    }
    first_ = (first_ + n) % kBufferRows;
    if (repaint_ || top_ + rows_ != kBufferRows) {
      repaint_ = true;
      return;
    }
    move_to(0, rows_ - 1);
    out_.append(static_cast<std::size_t>(std::min(n, rows_)), '\n');
    forget_terminal_cursor();
  }

  // Every row of the window from the copy, the cursor hidden meanwhile (flush() shows it
  // again if it is to be seen). What out_ held is in the copy already.
  void paint_window() {
    out_.clear();
    out_ += kHideCursor;
    g_cursor_hidden = 1;
    forget_terminal_cursor();
    for (int r = 0; r < rows_; ++r) {
      const unsigned char* row = cell(0, top_ + r);
      int length = cols_;
      while (length > 0 && row[length - 1] == ' ') --length;
      move_to(0, r);
      for (int x = 0; x < length; ++x) append_cell(row[x]);
      // A full row leaves the terminal waiting to wrap, where EL would erase the last cell.
      if (length < cols_) out_ += kEraseToEnd;
      forget_terminal_cursor();
    }
    repaint_ = false;
  }

  unsigned char* cell(int x, int y) {
    const int row = (first_ + y) % kBufferRows;
    return cells_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
           static_cast<std::size_t>(x);
  }

  bool shown(int y) const { return y >= top_ && y < top_ + rows_; }

  void forget_terminal_cursor() { term_x_ = term_y_ = -1; }

  // To (x, row) of the terminal's screen.
  void move_to(int x, int row) {
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
  void append_cell(unsigned char byte) {
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

  bool probed_ = false;
  bool usable_ = false;
  Charset charset_ = Charset::kAscii;
  std::vector<unsigned char> cells_;  // kBufferRows rows of cols_ cells, a ring from first_
  int first_ = 0;
  int cols_ = 0;
  int rows_ = 0;
  int top_ = 0;       // the buffer row shown on the terminal's top row
  int cursor_x_ = 0;  // the cursor as the console writer placed it, in buffer cells
  int cursor_y_ = 0;
  bool visible_ = true;
  bool away_visible_ = true;
  bool repaint_ = false;   // the window is to be painted whole at the next flush
  bool laid_out_ = false;  // laid out again since the last take_resize()
  bool bell_ = false;
  std::string out_;
  int term_x_ = -1;  // where the terminal's own cursor stands after out_; -1: unknown
  int term_y_ = -1;
};

TerminalScreen& screen() {
  static TerminalScreen terminal;
  return terminal;
}

}  // namespace

namespace terminal_posix {

void screen_leave() {
  screen().leave();
}

void screen_reenter() {
  screen().reenter();
}

bool screen_utf8() {
  return screen().utf8();
}

}  // namespace terminal_posix

ScreenBuffer& terminal_screen() {
  return screen();
}

}  // namespace zepa
