// The console's screen buffer on a POSIX terminal. The terminal has no buffer of its own that
// the program can read back, so the program keeps one (platform/terminal_grid.*): a copy of
// the cells, up to kBufferRows rows of the terminal's width (fewer on a very wide terminal: the
// copy holds at most TerminalGrid::kMaxCells cells), of which the terminal shows a window of
// its height, as a Windows console shows a window of its screen buffer. Every change goes to
// the copy; what falls in the window is also sent to the terminal. The window follows the
// cursor: when it has to move (a line longer than the window, edited at its start), it is
// painted again from the copy. Scrolling with the window at the buffer's bottom is sent as
// line feeds on the terminal's bottom row, so that the rows scrolled out still go to the
// terminal's scrollback. This file is the thin part: the descriptor, the size, the signals.
//
// The escape sequences of both sides are listed in terminal_state_posix.h.
//
// Output is gathered in one buffer and leaves in one write() at flush(). The terminal's cursor
// is tracked here, not asked of the terminal: every cell run starts with an absolute move, so
// the drawing never depends on where the terminal's cursor was.
//
// In the background (the terminal's foreground process group is another's, after Ctrl+Z and
// `bg`) nothing is sent: the window is painted whole once the program is in the foreground
// again.
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
#include "platform/terminal_state_posix.h"

namespace zepa {

namespace {

using terminal_posix::g_modes;
using terminal_posix::g_signals;
using terminal_posix::in_foreground;
using terminal_posix::write_all;

// Esc 7 and Esc 8 in octal, as kAskPosition.
constexpr char kWholeScreenRegion[] = "\0337\x1b[r\0338";

// As tall as a Windows console's default screen buffer: a line being edited that is longer
// than the window stays whole in the copy up to this many rows.
constexpr int kBufferRows = 9001;
// A terminal that does not know its size (0 rows or 0 columns, as `stty rows 0 cols 0` makes
// it report) and does not answer when asked is taken as 80 x 25, the size a console window
// opens with.
constexpr int kUnknownCols = 80;
constexpr int kUnknownRows = 25;

// Also ends the key wait, so that the editor shows its line at the new size at once.
void on_resize(int) {
  g_signals.resized = 1;
  g_signals.wake = 1;
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

// The kernel's record of the size; when it has none, the terminal's own answer.
Size read_size() {
  struct winsize size;
  std::memset(&size, 0, sizeof size);
  if (ioctl(g_modes.output_fd, TIOCGWINSZ, &size) == 0 && size.ws_col != 0 && size.ws_row != 0) {
    return {size.ws_col, size.ws_row};
  }
  Size answer{};
  if (terminal_posix::ask_terminal_size(answer.cols, answer.rows)) return answer;
  return {kUnknownCols, kUnknownRows};
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
    if (!in_foreground()) {
      repaint();
      return;
    }
    catch_up();
    bool hidden = g_modes.cursor_hidden != 0;
    std::string out = compose(hidden);
    if (whole_region_due_ && !out.empty()) {
      out.insert(0, kWholeScreenRegion);
      whole_region_due_ = false;
    }
    if (out.empty()) return;
    if (hidden) g_modes.cursor_hidden = 1;  // set first: a signal during the write shows it
    write_all(g_modes.output_fd, out.data(), out.size());
    if (!hidden) g_modes.cursor_hidden = 0;
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
    if (usable_) repaint_whole();
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
    g_modes.output_fd = open_output();
    if (g_modes.output_fd < 0) return false;
    usable_ = true;
    whole_region_due_ = true;
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
    if (!g_signals.resized && !g_signals.resumed) return;
    const bool resumed = g_signals.resumed != 0;
    g_signals.resized = 0;
    g_signals.resumed = 0;
    const Size size = read_size();
    if (size.cols != cols() || size.rows != terminal_rows()) {
      lay_out_again(size.cols, size.rows);
      whole_region_due_ = whole_region_due_ || resumed;
      laid_out_ = true;
    } else if (resumed) {
      repaint_whole();
    }
  }

  // What the shell or a command did to the terminal meanwhile is undone: the window painted
  // whole, in the whole screen as the scroll region.
  void repaint_whole() {
    repaint();
    whole_region_due_ = true;
  }

  bool probed_ = false;
  bool usable_ = false;
  bool laid_out_ = false;          // laid out again since the last take_resize()
  bool whole_region_due_ = false;  // the scroll region is to be reset before the next drawing
  bool away_visible_ = true;
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
