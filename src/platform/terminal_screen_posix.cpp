// The console's screen buffer on a POSIX terminal. The terminal has no buffer of its own that
// the program can read back, so the program keeps one (platform/terminal_grid.*): a copy of
// the cells, kBufferRows rows of the terminal's width, of which the terminal shows a window of
// its height, as a Windows console shows a window of its screen buffer. Every change goes to
// the copy; what falls in the window is also sent to the terminal. The window follows the
// cursor: when it has to move (a line longer than the window, edited at its start), it is
// painted again from the copy. Scrolling with the window at the buffer's bottom is sent as
// line feeds on the terminal's bottom row, so that the rows scrolled out still go to the
// terminal's scrollback. This file is the thin part: the descriptor, the size, the signals.
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
#include <csignal>
#include <cstring>
#include <string>

#include "platform/cp1252.h"
#include "platform/terminal.h"
#include "platform/terminal_grid.h"
#include "platform/terminal_shared_posix.h"

namespace zepa {

namespace terminal_posix {
volatile int g_output_fd = -1;
}  // namespace terminal_posix

namespace {

using terminal_posix::g_cursor_hidden;
using terminal_posix::g_output_fd;
using terminal_posix::g_resumed;
using terminal_posix::g_wake;
using terminal_posix::write_all;

// As tall as a Windows console's default screen buffer: a line being edited that is longer
// than the window stays whole in the copy up to this many rows.
constexpr int kBufferRows = 9001;
// A terminal that does not know its size (0 rows or 0 columns, as `stty rows 0 cols 0` makes
// it report) is taken as 80 x 25, the size a console window opens with.
constexpr int kUnknownCols = 80;
constexpr int kUnknownRows = 25;

volatile std::sig_atomic_t g_resized = 0;  // SIGWINCH came

// Also ends the key wait, so that the editor shows its line at the new size at once.
void on_resize(int) {
  g_resized = 1;
  g_wake = 1;
}

// The character set of the user's locale (the program has set LC_CTYPE from the environment).
Charset locale_charset() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr) return Charset::kAscii;
  if (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0) return Charset::kUtf8;
  // ISO-8859-1 has Windows-1252's characters at 160-255 (ISO-8859-15 differs in eight of them).
  if (strcasecmp(codeset, "ISO-8859-1") == 0) return Charset::kLatin1;
  return Charset::kAscii;
}

// The terminal to draw on: standard output if it is one; else, when standard input is a
// terminal (the dialogue is typed there while standard output records it), the controlling
// terminal opened afresh; else none.
int open_output() {
  if (isatty(STDOUT_FILENO)) return STDOUT_FILENO;
  if (!isatty(STDIN_FILENO)) return -1;
  return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

struct Size {
  int cols;
  int rows;
};

Size read_size() {
  struct winsize size;
  std::memset(&size, 0, sizeof size);
  if (ioctl(g_output_fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return {kUnknownCols, kUnknownRows};
  }
  return {size.ws_col, size.ws_row};
}

// What the terminal is (whether there is one to draw on, its character set) is found out at the
// first call, which comes after start-up has taken the locale from the environment, and kept
// for the life of the process.
class TerminalScreen final : public TerminalGrid {
 public:
  TerminalScreen() : TerminalGrid(kBufferRows, Charset::kAscii) {}

  bool read_info(ScreenInfo& info) override { return set_up() && TerminalGrid::read_info(info); }

  void beep() override {
    if (set_up()) {
      TerminalGrid::beep();
    } else if (isatty(STDERR_FILENO)) {
      write_all(STDERR_FILENO, "\a", 1);  // no terminal to draw on: ring the one we may have
    }
  }

  // The terminal learns the cursor's cell and visibility only here, so a hide and a show (or
  // moves) within one flush cost nothing; typing at the end of a line sends just the byte.
  void flush() override {
    if (!usable_) return;  // a redirected output never gets a cursor sequence
    catch_up();
    bool hidden = g_cursor_hidden != 0;
    const std::string out = compose(hidden);
    if (out.empty()) return;
    if (hidden) g_cursor_hidden = 1;  // set first: a signal during the write shows it again
    write_all(g_output_fd, out.data(), out.size());
    if (!hidden) g_cursor_hidden = 0;
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
    away_visible_ = cursor_visible();
    set_cursor_visible(true);
    flush();
  }
  void reenter() {
    set_cursor_visible(away_visible_);
    if (usable_) repaint();
    flush();
  }

  bool utf8() {
    set_up();
    return charset() == Charset::kUtf8;
  }

 private:
  bool set_up() {
    if (probed_) return usable_;
    probed_ = true;
    set_charset(locale_charset());
    if (!terminal_addresses_cursor()) return false;
    g_output_fd = open_output();
    if (g_output_fd < 0) return false;
    usable_ = true;
    const Size size = read_size();
    lay_out(size.cols, size.rows);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_resize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // poll() returns at once whatever this says
    sigaction(SIGWINCH, &action, nullptr);
    return true;
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
    const Size size = read_size();
    if (size.cols != cols() || std::min(size.rows, kBufferRows) != rows()) {
      lay_out_again(size.cols, size.rows);
      laid_out_ = true;
    } else if (resumed) {
      repaint();
    }
  }

  bool probed_ = false;
  bool usable_ = false;
  bool laid_out_ = false;  // laid out again since the last take_resize()
  bool away_visible_ = true;
};

TerminalScreen& screen() {
  static TerminalScreen terminal;
  return terminal;
}

}  // namespace

namespace terminal_posix {

void screen_leave() { screen().leave(); }

void screen_reenter() { screen().reenter(); }

bool screen_utf8() { return screen().utf8(); }

}  // namespace terminal_posix

ScreenBuffer& terminal_screen() {
  return screen();
}

void append_plain_terminal_text(const unsigned char* bytes, std::size_t size, std::string& out) {
  static const Charset charset = locale_charset();
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char byte = bytes[i];
    const bool as_is = byte < 0x80 || (charset == Charset::kLatin1 && byte >= 0xA0);
    if (as_is) {
      out += static_cast<char>(byte);
    } else if (charset == Charset::kUtf8) {
      char encoded[4];
      out.append(encoded, encode_utf8(cp1252_cell_char(byte), encoded));
    } else {
      out += '?';
    }
  }
}

}  // namespace zepa
