// The keys of the console on a POSIX terminal: standard input in raw mode, and the signal
// handlers that give the terminal back on every way out. The screen is
// terminal_screen_posix.cpp, which lists the escape sequences the program draws with; the ones
// sent here are
//   ESC [ ? 25 h         DECTCEM  show the cursor (when the program hid it and has to go)
//   ESC [ ? 2004 h                bracketed paste on, with raw mode: the terminal marks a paste
//                                 with ESC [ 200 ~ and ESC [ 201 ~ (xterm; ignored where unknown)
//   ESC [ ? 2004 l                bracketed paste off, on every way out of raw mode
// The sequences that keys send are decoded above the platform, by the console's keyboard layer
// (console/key_decoder.cpp lists them); this file hands up raw bytes.

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/descriptor_posix.h"
#include "platform/terminal.h"
#include "platform/terminal_shared_posix.h"

namespace zepa {

namespace {

using terminal_posix::g_cursor_hidden;
using terminal_posix::g_output_fd;
using terminal_posix::g_resumed;
using terminal_posix::g_wake;
using terminal_posix::write_all;

constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kPasteOn[] = "\x1b[?2004h";
constexpr char kPasteOff[] = "\x1b[?2004l";

// Shared with the signal handlers, which only test and set these flags, call tcsetattr, write
// the cursor-show and paste sequences and raise.
struct termios g_saved_modes;  // the terminal's modes before raw mode
struct termios g_raw_modes;
volatile std::sig_atomic_t g_raw = 0;            // raw mode is the program's input mode
volatile std::sig_atomic_t g_hangup = 0;         // SIGHUP came
volatile std::sig_atomic_t g_paste_marked = 0;   // the terminal was told to bracket pastes
volatile std::sig_atomic_t g_away = 0;           // a command has the terminal in its own modes
// The main thread is blocked in the key wait, where a hang-up is answered on that thread; the
// handler ends the process itself anywhere else (a wait for the help opener, a blocking open).
volatile std::sig_atomic_t g_in_key_wait = 0;
// Raw mode brings bracketed paste: the screen draws on a terminal.
bool g_paste_on_request = false;
struct sigaction g_hangup_before;  // SIGHUP's disposition before our handler
bool g_hangup_caught = false;
void (*g_on_close)() = nullptr;  // the console event handler's action, given by the keyboard layer

// Async-signal-safe: shows the cursor if we hid it, stops the paste marks and puts the saved
// modes back.
void restore_terminal() {
  if (g_cursor_hidden) {
    write_all(g_output_fd, kShowCursor, sizeof kShowCursor - 1);
    g_cursor_hidden = 0;
  }
  if (g_paste_marked) {
    write_all(g_output_fd, kPasteOff, sizeof kPasteOff - 1);
    g_paste_marked = 0;
  }
  if (!g_raw) return;
  // Ctrl+Z may have stopped a shell around the program first, putting the program in the
  // background: a tcsetattr there would stop it with SIGTTOU and restart after fg with the
  // modes put back and the program stopped again. Blocked, SIGTTOU lets the call through.
  sigset_t ttou;
  sigset_t before;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &before);
  tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Async-signal-safe. Raw mode on, and with it the paste marks.
bool enter_raw_mode() {
  if (tcsetattr(STDIN_FILENO, TCSANOW, &g_raw_modes) != 0) return false;
  if (g_paste_on_request && !g_paste_marked) {
    g_paste_marked = 1;  // set first: a signal during the write turns the marks off again
    write_all(g_output_fd, kPasteOn, sizeof kPasteOn - 1);
  }
  return true;
}

// Async-signal-safe. A process in the background may not set the modes (it would be stopped);
// it gets them back at the SIGCONT that brings it to the foreground.
void reenter_raw_mode() {
  if (g_raw && !g_away && tcgetpgrp(STDIN_FILENO) == getpgrp()) enter_raw_mode();
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

// Registered once raw mode is on; runs before the runtime shutdown (registered earlier).
void restore_at_exit() {
  terminal_screen().flush();
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
    format_.utf8 = terminal_posix::screen_utf8();
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
    g_paste_on_request = g_output_fd >= 0;  // the screen, set up by screen_utf8() above
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
    terminal_screen().flush();
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

KeySource& terminal_keys() {
  static TerminalKeys keys;
  return keys;
}

// Shared with the screen (terminal_shared_posix.h).
namespace terminal_posix {

volatile std::sig_atomic_t g_cursor_hidden = 0;
volatile std::sig_atomic_t g_resumed = 0;
volatile std::sig_atomic_t g_wake = 0;

void write_all(int fd, const char* data, std::size_t size) {
  write_all_waiting(fd, data, size);  // a terminal that hung up takes nothing more
}

}  // namespace terminal_posix

// Leaving and re-entering the program's terminal mode around a command. A stop in between
// leaves the modes to the command (g_away).
void leave_terminal_mode() {
  terminal_posix::screen_leave();
  g_away = 1;
  restore_terminal();
}

void reenter_terminal_mode() {
  g_away = 0;
  reenter_raw_mode();
  terminal_posix::screen_reenter();
}

int terminal_output_fd() {
  ScreenInfo info;
  terminal_screen().read_info(info);  // sets the screen up if nothing has yet
  return terminal_posix::g_output_fd;
}

}  // namespace zepa
