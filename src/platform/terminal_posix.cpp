// The console on a POSIX terminal: the screen buffer is the terminal's screen (as many rows as
// the window, the window's top at row 0) and the keys come from standard input in raw mode.
//
// Escape sequences sent to the terminal (VT100 / ECMA-48; xterm, tmux, screen, the Linux
// console and their kin all have them):
//   ESC [ row ; col H    CUP      move the cursor (counted from 1): before a run of cells, and
//                                 to the cursor's cell before the program waits
//   ESC [ K              EL       erase from the cursor to the end of the row, in the current
//                                 colours (blanking a row up to the right edge)
//   ESC [ top ; bot r    DECSTBM  set the scroll region (scrolling rows that are not the screen)
//   ESC [ r              DECSTBM  give the scroll region back to the whole screen
//   ESC [ ? 25 l         DECTCEM  hide the cursor
//   ESC [ ? 25 h         DECTCEM  show the cursor
//   ESC [ ? 2004 h                bracketed paste on: the terminal marks a paste with
//                                 ESC [ 200 ~ and ESC [ 201 ~ (xterm; ignored where unknown)
//   ESC [ ? 2004 l                bracketed paste off, on every way out of raw mode
//   LF (10)              on the bottom row: scroll the screen up one row; the top row goes to
//                                 the terminal's scrollback
//   BEL (7)              the beep
// No colour is ever set. The sequences that keys send are decoded above the platform, by the
// console's keyboard layer (console/key_decoder.cpp lists them); this file hands up raw bytes.
//
// Output is gathered in one buffer and leaves in one write() at flush(). The cursor is tracked
// here, not asked of the terminal: every cell run starts with an absolute move, so the drawing
// never depends on where the terminal's cursor was. Before the first placement the tracked cell
// is (0, 0); the only use of that first reading is the console channel's starting column, which
// the program's first console operation, the screen clearing, resets while it places the cursor
// in the top-left cell. Asking the terminal (ESC [ 6 n) would need raw input before the console
// is set up and would have to pick the reply out of keys typed ahead, for no visible gain.

#include <langinfo.h>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/cp1252.h"
#include "platform/terminal.h"

namespace zepa {

namespace {

constexpr char kHideCursor[] = "\x1b[?25l";
constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kEraseToEnd[] = "\x1b[K";
constexpr char kWholeScreenScrolls[] = "\x1b[r";
constexpr char kPasteOn[] = "\x1b[?2004h";
constexpr char kPasteOff[] = "\x1b[?2004l";

// Shared with the signal handlers, which only test and set these flags, call tcsetattr, write
// the cursor-show and paste sequences and raise.
struct termios g_saved_modes;  // the terminal's modes before raw mode
struct termios g_raw_modes;
volatile std::sig_atomic_t g_raw = 0;            // raw mode is the program's input mode
volatile std::sig_atomic_t g_cursor_hidden = 0;  // the terminal was last told to hide the cursor
volatile std::sig_atomic_t g_hangup = 0;         // SIGHUP came
volatile std::sig_atomic_t g_resumed = 0;        // continued after a stop: the cursor may be moved
volatile std::sig_atomic_t g_paste_marked = 0;   // the terminal was told to bracket pastes
// Set by every handler whose signal should end the key wait (a handler for another signal that
// the editor answers sets it too); the wait, which blocks those signals while it looks, skips
// blocking when it is set, so a signal handled just before the wait is not slept through.
volatile std::sig_atomic_t g_wake = 0;
// The main thread is blocked in the key wait, where a hang-up is answered on that thread; the
// handler ends the process itself anywhere else (a wait for the help opener, a blocking open).
volatile std::sig_atomic_t g_in_key_wait = 0;
// Raw mode brings bracketed paste: standard output is the terminal.
bool g_paste_on_request = false;
struct sigaction g_hangup_before;  // SIGHUP's disposition before our handler
bool g_hangup_caught = false;
void (*g_on_close)() = nullptr;  // the console event handler's action, given by the keyboard layer

void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      return;  // a terminal that hung up takes nothing more
    }
  }
}

// Bracketed paste is a terminal mode, sent where the screen's sequences go: only to a standard
// output that is the terminal.
bool output_is_terminal() {
  static const bool terminal = isatty(STDOUT_FILENO) != 0;
  return terminal;
}

// Async-signal-safe: shows the cursor if we hid it, stops the paste marks and puts the saved
// modes back.
void restore_terminal() {
  if (g_cursor_hidden) {
    write_all(STDOUT_FILENO, kShowCursor, sizeof kShowCursor - 1);
    g_cursor_hidden = 0;
  }
  if (g_paste_marked) {
    write_all(STDOUT_FILENO, kPasteOff, sizeof kPasteOff - 1);
    g_paste_marked = 0;
  }
  if (g_raw) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
}

// Async-signal-safe. Raw mode on, and with it the paste marks.
bool enter_raw_mode() {
  if (tcsetattr(STDIN_FILENO, TCSANOW, &g_raw_modes) != 0) return false;
  if (g_paste_on_request && !g_paste_marked) {
    g_paste_marked = 1;  // set first: a signal during the write turns the marks off again
    write_all(STDOUT_FILENO, kPasteOn, sizeof kPasteOn - 1);
  }
  return true;
}

// Async-signal-safe. A process in the background may not set the modes (it would be stopped);
// it gets them back at the SIGCONT that brings it to the foreground.
void reenter_raw_mode() {
  if (g_raw && tcgetpgrp(STDIN_FILENO) == getpgrp()) enter_raw_mode();
}

void set_action(int sig, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Other calls resume after the handler; poll() returns at once whatever this says.
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

// A signal ignored when the program started (nohup, a background job) stays ignored.
bool catch_signal(int sig, void (*handler)(int)) {
  struct sigaction before;
  if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return false;
  set_action(sig, handler);
  return true;
}

// SIGINT, SIGQUIT, SIGTERM: the terminal back as it was, then the end by the same signal's
// default action, so that the parent sees the signal (status 130 for Ctrl+C in a shell).
void on_fatal_signal(int sig) {
  restore_terminal();
  set_action(sig, SIG_DFL);
  raise(sig);  // pending until this handler returns, then it ends the process
}

// SIGTSTP (Ctrl+Z): the terminal back as it was, stop, and raw mode again once continued.
void on_stop(int) {
  const int saved_errno = errno;
  restore_terminal();
  set_action(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);  // the process stops here until SIGCONT
  // cppcheck's library marks raise() as never returning; it returns here once continued.
  // cppcheck-suppress unreachableCode
  set_action(SIGTSTP, on_stop);
  reenter_raw_mode();
  g_resumed = 1;
  g_wake = 1;
  errno = saved_errno;
}

// Also after a stop we did not see (SIGSTOP, or a stop while the modes were being set).
void on_continue(int) {
  const int saved_errno = errno;
  reenter_raw_mode();
  g_resumed = 1;
  g_wake = 1;
  errno = saved_errno;
}

// In the key wait, the work happens on the main thread, which the signal wakes: the close key,
// then the end. Anywhere else the main thread may be blocked for good (waiting for the help
// opener, opening a memo that is a pipe with no reader; restarted calls would never notice), so
// the end happens here, by the signal's default action, as for Ctrl+C.
void on_hangup(int sig) {
  g_hangup = 1;
  g_wake = 1;
  if (g_in_key_wait) return;
  restore_terminal();
  set_action(sig, SIG_DFL);
  raise(sig);  // pending until this handler returns, then it ends the process
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

class TerminalScreen final : public ScreenBuffer {
 public:
  // Each reading asks the terminal for its size, and takes a new size in: see take_size().
  bool read_info(ScreenInfo& info) override {
    if (!probe().usable) return false;
    struct winsize size;
    std::memset(&size, 0, sizeof size);
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
      return false;  // a size of 0 means the terminal does not know it
    }
    take_size(size.ws_col, size.ws_row);
    info.width = cols_;
    info.height = rows_;
    info.cursor_x = cursor_x_;
    info.cursor_y = cursor_y_;
    info.attribute = 7;
    info.window_top = 0;
    info.window_bottom = rows_ - 1;
    return true;
  }

  bool put_cells(int x, int y, const unsigned char* bytes, int count, std::uint16_t) override {
    if (y < 0 || y >= rows_ || x < 0 || count < 0 || x + count > cols_) return false;
    move_to(x, y);
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
    bottom = std::min(bottom, rows_ - 1);
    if (n <= 0 || top > bottom) return;
    if (n > bottom - top || left > 0 || right < cols_ - 1) {
      // Every row moves out; or only part of each row would move, which a terminal cannot do
      // (the console writer always scrolls whole rows): the rectangle is blanked.
      for (int y = bottom; y >= top; --y) blank_row(y, left, right, 0);
      return;
    }
    const bool whole_screen = top == 0 && bottom == rows_ - 1;
    if (!whole_screen) {
      out_ += "\x1b[";
      append_number(out_, top + 1);
      out_ += ';';
      append_number(out_, bottom + 1);
      out_ += 'r';
    }
    forget_terminal_cursor();
    move_to(0, bottom);
    out_.append(static_cast<std::size_t>(n), '\n');
    if (!whole_screen) out_ += kWholeScreenScrolls;
    forget_terminal_cursor();
  }

  void blank_row(int y, int left, int right, std::uint16_t) override {
    left = std::max(left, 0);
    right = std::min(right, cols_ - 1);
    if (y < 0 || y >= rows_ || left > right) return;
    move_to(left, y);
    if (right == cols_ - 1) {
      out_ += kEraseToEnd;
    } else {
      out_.append(static_cast<std::size_t>(right - left) + 1, ' ');
      term_x_ = right + 1;
    }
  }

  void set_cursor(int x, int y) override {
    cursor_x_ = x;
    cursor_y_ = y;
    placed_ = true;
  }

  void set_window(int, int, int, int) override {}  // the window is the screen; it never moves
  bool cursor_visible() override { return visible_; }
  void set_cursor_visible(bool visible) override { visible_ = visible; }

  void beep() override {
    if (probe().usable) {
      out_ += '\a';
    } else if (isatty(STDERR_FILENO)) {
      write_all(STDERR_FILENO, "\a", 1);  // output redirected: ring the terminal we may have
    }
  }

  // The terminal learns the cursor's cell and visibility only here, so a hide and a show (or
  // moves) within one flush cost nothing; typing at the end of a line sends just the byte.
  void flush() override {
    if (!probe().usable) return;  // a redirected output never gets a cursor sequence
    if (g_resumed) {
      g_resumed = 0;
      forget_terminal_cursor();
    }
    if (placed_ && rows_ > 0) move_to(cursor_x_, cursor_y_);
    const bool hide = !visible_;
    if (hide != (g_cursor_hidden != 0)) out_ += hide ? kHideCursor : kShowCursor;
    if (out_.empty()) return;
    if (hide) g_cursor_hidden = 1;  // set first: a signal during the write shows it again
    write_all(STDOUT_FILENO, out_.data(), out_.size());
    if (!hide) g_cursor_hidden = 0;
    out_.clear();
  }

  // Whether the user's locale encodes characters in UTF-8 (and typed characters arrive so).
  bool utf8() { return probe().charset == Charset::kUtf8; }

 private:
  // What the terminal is: whether standard output is a terminal that can address the cursor,
  // and the locale's character set. Found out at the first call, which comes after start-up has
  // taken the locale from the environment, and kept for the life of the process.
  struct Probe {
    bool usable = false;
    Charset charset = Charset::kAscii;
  };
  const Probe& probe() {
    if (!probed_) {
      probed_ = true;
      probe_.usable = isatty(STDOUT_FILENO) && terminal_addresses_cursor();
      probe_.charset = locale_charset();
    }
    return probe_;
  }

  // A size other than the last one read: the terminal has moved its cursor as it saw fit, so
  // ours is kept on the screen and the terminal's own is taken as unknown.
  void take_size(int cols, int rows) {
    if (cols == cols_ && rows == rows_) return;
    cols_ = cols;
    rows_ = rows;
    cursor_x_ = std::min(cursor_x_, cols_ - 1);
    cursor_y_ = std::min(cursor_y_, rows_ - 1);
    forget_terminal_cursor();
  }

  void forget_terminal_cursor() { term_x_ = term_y_ = -1; }

  void move_to(int x, int y) {
    if (x == term_x_ && y == term_y_) return;
    out_ += "\x1b[";
    append_number(out_, y + 1);
    out_ += ';';
    append_number(out_, x + 1);
    out_ += 'H';
    term_x_ = x;
    term_y_ = y;
  }

  // One cell, one character: bytes the terminal would take as controls, and bytes its character
  // set cannot show, get a visible stand-in.
  void append_cell(unsigned char byte) {
    if (byte >= 0x20 && byte < 0x7F) {
      out_ += static_cast<char>(byte);
      return;
    }
    const Charset charset = probe_.charset;
    if (charset == Charset::kUtf8) {
      char encoded[4];
      out_.append(encoded, encode_utf8(cp1252_cell_char(byte), encoded));
    } else if (charset == Charset::kLatin1 && byte >= 0xA0) {
      out_ += static_cast<char>(byte);
    } else {
      out_ += '?';
    }
  }

  bool probed_ = false;
  Probe probe_;
  std::string out_;
  int cols_ = 0;
  int rows_ = 0;
  int cursor_x_ = 0;  // the cursor as the console writer placed it
  int cursor_y_ = 0;
  bool placed_ = false;
  bool visible_ = true;
  int term_x_ = -1;  // where the terminal's own cursor stands after out_; -1: unknown
  int term_y_ = -1;
};

TerminalScreen& screen() {
  static TerminalScreen terminal;
  return terminal;
}

// Registered once raw mode is on; runs before the runtime shutdown (registered earlier).
void restore_at_exit() {
  screen().flush();
  restore_terminal();
  g_raw = 0;
}

void remove_event_handler() {
  if (g_hangup_caught) sigaction(SIGHUP, &g_hangup_before, nullptr);
}

// setup() runs at the first console operation, the screen clearing before the banner: raw mode
// starts there so that keys typed ahead are neither echoed over the banner by the terminal nor
// lost, and everything that puts the terminal back (exit, INT, QUIT, TERM, TSTP, CONT) is in
// place from the moment raw mode is. install_event_handler() runs at the first keyboard poll and
// is the console event handler's counterpart: the answer to a hang-up (the close key, then the
// end). Before it a hang-up gets the default action, as a console close does before the handler.
class TerminalKeys final : public KeySource {
 public:
  void setup() override {
    // A terminal that cannot address the cursor keeps its own line discipline and echo.
    if (!isatty(STDIN_FILENO) || !terminal_addresses_cursor()) return;
    if (tcgetattr(STDIN_FILENO, &g_saved_modes) != 0) return;
    format_.erase = g_saved_modes.c_cc[VERASE];
    format_.utf8 = screen().utf8();
    g_raw_modes = g_saved_modes;
    // ISIG stays on: Ctrl+C and Ctrl+\ end the program by the default action of their signals.
    // IXON off lets Ctrl+S through as a key instead of freezing the output.
    g_raw_modes.c_lflag &= ~(ICANON | ECHO | IEXTEN);
    g_raw_modes.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    g_raw_modes.c_cc[VMIN] = 1;
    g_raw_modes.c_cc[VTIME] = 0;
    catch_signal(SIGINT, on_fatal_signal);
    catch_signal(SIGQUIT, on_fatal_signal);
    catch_signal(SIGTERM, on_fatal_signal);
    catch_signal(SIGTSTP, on_stop);
    set_action(SIGCONT, on_continue);
    g_paste_on_request = output_is_terminal();
    g_raw = 1;
    // TCSANOW, never TCSAFLUSH: keys typed before the first prompt stay for it.
    if (!enter_raw_mode()) {
      g_raw = 0;
      return;
    }
    std::atexit(restore_at_exit);
  }

  KeyFormat format() override { return format_; }

  void install_event_handler(void (*on_close)()) override {
    if (!g_raw) return;
    g_on_close = on_close;
    sigaction(SIGHUP, nullptr, &g_hangup_before);
    g_hangup_caught = catch_signal(SIGHUP, on_hangup);
    std::atexit(remove_event_handler);
  }

  long read_bytes(unsigned char* bytes, std::size_t size) override {
    if (!g_raw) return -1;  // the terminal refused raw mode: no key can be read
    for (;;) {
      if (g_hangup) hang_up();
      struct pollfd input = {STDIN_FILENO, POLLIN, 0};
      const int ready = poll(&input, 1, 0);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (ready == 0) return 0;
      if ((input.revents & POLLIN) == 0) hang_up();  // POLLHUP, POLLERR, POLLNVAL: no data ever
      const ssize_t n = read(STDIN_FILENO, bytes, size);
      if (n > 0) return static_cast<long>(n);
      if (n == 0 || errno == EIO) hang_up();  // ready yet empty: the terminal is gone
      if (errno != EINTR && errno != EAGAIN) return -1;
    }
  }

  // The signals that end the wait are blocked while it looks at the flags and unblocked only
  // inside ppoll(), so one that comes in between ends the ppoll() at once instead of being
  // slept through. A dead terminal ends it too (POLLHUP).
  void wait(int timeout_ms) override {
    // What the editor drew must be on the screen before the program blocks.
    screen().flush();
    if (!g_raw) return;
    sigset_t wake;
    sigset_t before;
    sigemptyset(&wake);
    sigaddset(&wake, SIGHUP);
    sigaddset(&wake, SIGCONT);
    sigaddset(&wake, SIGWINCH);
    sigprocmask(SIG_BLOCK, &wake, &before);
    g_in_key_wait = 1;
    if (!g_wake && !g_hangup) {
      struct pollfd input = {STDIN_FILENO, POLLIN, 0};
      struct timespec limit = {timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
      ppoll(&input, 1, timeout_ms < 0 ? nullptr : &limit, &before);
    }
    g_in_key_wait = 0;
    g_wake = 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
  }

 private:
  // The terminal is gone: the close key goes to the queue, as the console's close event puts it
  // there, and the process ends as a hung-up process does. Reading on would only spin.
  [[noreturn]] static void hang_up() {
    if (g_on_close != nullptr) g_on_close();
    restore_terminal();
    set_action(SIGHUP, SIG_DFL);
    raise(SIGHUP);
    // Only if the default action did not end the process (cppcheck takes raise() as the end).
    // cppcheck-suppress unreachableCode
    _exit(128 + SIGHUP);
  }

  KeyFormat format_;
};

}  // namespace

bool terminal_addresses_cursor() {
  const char* term = std::getenv("TERM");
  return term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
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

ScreenBuffer& terminal_screen() {
  return screen();
}

KeySource& terminal_keys() {
  static TerminalKeys keys;
  return keys;
}

}  // namespace zepa
