// The keyboard side of the POSIX terminal: standard input in raw mode, and the signal handlers
// that give the terminal back on every way out. The escape sequences of both sides are listed
// in terminal_state_posix.h; this side hands up raw bytes, which the console's keyboard layer
// decodes.

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/descriptor_posix.h"
#include "platform/terminal.h"
#include "platform/terminal_state_posix.h"

namespace zepa {

namespace terminal_posix {
Modes g_modes;
SignalFlags g_signals;
}  // namespace terminal_posix

namespace {

using terminal_posix::g_modes;
using terminal_posix::g_signals;
using terminal_posix::in_foreground;
using terminal_posix::write_all;

constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kPasteOn[] = "\x1b[?2004h";
constexpr char kPasteOff[] = "\x1b[?2004l";
// Esc 7 and Esc 8 (save and restore the cursor) in octal: "\x1b7" would read as one escape.
constexpr char kAskPosition[] = "\0337\x1b[999C\x1b[999B\x1b[6n\0338";

// How long the terminal has to answer the cursor position report.
constexpr int kAnswerWaitMs = 100;
// How often the key wait looks whether a program in the background is in the foreground again.
constexpr int kBackgroundLookMs = 100;

// The console event handler's counterpart: what SIGHUP was before it.
struct HangUpHandler {
  struct sigaction before {};
  bool caught = false;
};

// Bytes read from standard input that are not yet handed up: keys typed while the program
// waited for the terminal's answer to a size question.
struct PendingInput {
  std::string bytes;
};

HangUpHandler g_hang_up;
PendingInput g_pending;

// Async-signal-safe: shows the cursor if we hid it, stops the paste marks and puts the saved
// modes back.
void restore_terminal() {
  if (g_modes.cursor_hidden) {
    write_all(g_modes.output_fd, kShowCursor, sizeof kShowCursor - 1);
    g_modes.cursor_hidden = 0;
  }
  if (g_modes.paste_marked) {
    write_all(g_modes.output_fd, kPasteOff, sizeof kPasteOff - 1);
    g_modes.paste_marked = 0;
  }
  if (!g_modes.raw_on) return;
  // Ctrl+Z may have stopped a shell around the program first, putting the program in the
  // background: a tcsetattr there would stop it with SIGTTOU and restart after fg with the
  // modes put back and the program stopped again. Blocked, SIGTTOU lets the call through.
  sigset_t ttou;
  sigset_t before;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &before);
  tcsetattr(STDIN_FILENO, TCSANOW, &g_modes.saved);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Async-signal-safe. The terminal told to mark pastes, where the screen draws on it.
void mark_pastes() {
  if (g_modes.paste_wanted && !g_modes.paste_marked) {
    g_modes.paste_marked = 1;  // set first: a signal during the write turns the marks off again
    write_all(g_modes.output_fd, kPasteOn, sizeof kPasteOn - 1);
  }
}

// Async-signal-safe. Raw mode on, and with it the paste marks.
bool enter_raw_mode() {
  if (tcsetattr(STDIN_FILENO, TCSANOW, &g_modes.raw) != 0) return false;
  mark_pastes();
  return true;
}

// Async-signal-safe. A process in the background may not set the modes (it would be stopped);
// it gets them back at the SIGCONT that brings it to the foreground.
void reenter_raw_mode() {
  if (g_modes.raw_on && !g_modes.away && in_foreground()) enter_raw_mode();
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

// Every signal that ends the process by default: the terminal back as it was, then the end by
// the same signal's default action, so that the parent sees the signal (status 130 for Ctrl+C
// in a shell). A fault (SIGSEGV and the like) is raised again on the way out of the handler.
void on_fatal_signal(int sig) {
  restore_terminal();
  set_action(sig, SIG_DFL);
  raise(sig);  // pending until this handler returns, then it ends the process
}

void catch_fatal_signals() {
  static const int kFatal[] = {
      SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
      SIGXCPU,   SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP,   SIGSYS,
#ifdef SIGPOLL
      SIGPOLL,
#endif
#ifdef SIGPWR
      SIGPWR,
#endif
#ifdef SIGSTKFLT
      SIGSTKFLT,
#endif
  };
  for (const int sig : kFatal) catch_signal(sig, on_fatal_signal);
#ifdef SIGRTMIN
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) catch_signal(sig, on_fatal_signal);
#endif
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
  g_signals.resumed = 1;
  g_signals.wake = 1;
  errno = saved_errno;
}

// Also after a stop we did not see (SIGSTOP, or a stop while the modes were being set), and
// when `bg` continues the program in the background, where it takes nothing (reenter_raw_mode).
void on_continue(int) {
  const int saved_errno = errno;
  reenter_raw_mode();
  g_signals.resumed = 1;
  g_signals.wake = 1;
  errno = saved_errno;
}

// In the key wait, the work happens on the main thread, which the signal wakes: the next key
// read answers kHungUp, and the dialogue ends by the hang-up. Anywhere else the main thread may be
// blocked for good (waiting for the help opener, opening a memo that is a pipe with no reader;
// restarted calls would never notice), so the end happens here, by the signal's default action, as
// for Ctrl+C.
void on_hangup(int sig) {
  g_signals.hangup = 1;
  g_signals.wake = 1;
  if (g_signals.in_key_wait) return;
  restore_terminal();
  set_action(sig, SIG_DFL);
  raise(sig);  // pending until this handler returns, then it ends the process
}

// Registered once raw mode is on; runs before the runtime shutdown (registered earlier).
void restore_at_exit() {
  terminal_screen().flush();
  restore_terminal();
  g_modes.raw_on = 0;
}

void remove_event_handler() {
  if (g_hang_up.caught) sigaction(SIGHUP, &g_hang_up.before, nullptr);
}

long now_ms() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Finds ESC [ rows ; cols R in `bytes` from `from` on: where it starts and ends, or false.
bool find_position_answer(const std::string& bytes, std::size_t from, std::size_t& start,
                          std::size_t& end, int& rows, int& cols) {
  for (start = bytes.find("\x1b[", from); start != std::string::npos;
       start = bytes.find("\x1b[", start + 1)) {
    std::size_t i = start + 2;
    int numbers[2] = {0, 0};
    int which = 0;
    bool digits = false;
    for (; i < bytes.size(); ++i) {
      const char ch = bytes[i];
      if (ch >= '0' && ch <= '9' && numbers[which] < 100000) {
        numbers[which] = numbers[which] * 10 + (ch - '0');
        digits = true;
      } else if (ch == ';' && which == 0 && digits) {
        which = 1;
        digits = false;
      } else {
        break;
      }
    }
    if (i < bytes.size() && bytes[i] == 'R' && which == 1 && digits) {
      end = i + 1;
      rows = numbers[0];
      cols = numbers[1];
      return true;
    }
  }
  return false;
}

// setup() runs at the first console operation, the screen clearing before the banner: raw mode
// starts there so that keys typed ahead are neither echoed over the banner by the terminal nor
// lost, and everything that puts the terminal back (exit, every signal that ends the process,
// TSTP, CONT) is in place from the moment raw mode is. install_event_handler() runs at the first
// keyboard poll and is the console event handler's counterpart: it makes a hang-up in the key
// wait come back from the key reads. Before it a hang-up gets the default action, as a console
// close does before the handler.
class TerminalKeys final : public KeySource {
 public:
  void setup() override {
    // A terminal that cannot address the cursor keeps its own line discipline and echo.
    if (!isatty(STDIN_FILENO) || !terminal_addresses_cursor()) return;
    if (tcgetattr(STDIN_FILENO, &g_modes.saved) != 0) return;
    format_.erase = g_modes.saved.c_cc[VERASE];
    g_modes.raw = g_modes.saved;
    // ISIG stays on: Ctrl+C and Ctrl+\ end the program by the default action of their signals.
    // IXON off lets Ctrl+S through as a key instead of freezing the output.
    g_modes.raw.c_lflag &= ~(ICANON | ECHO | IEXTEN);
    g_modes.raw.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    g_modes.raw.c_cc[VMIN] = 1;
    g_modes.raw.c_cc[VTIME] = 0;
    catch_fatal_signals();
    catch_signal(SIGTSTP, on_stop);
    set_action(SIGCONT, on_continue);
    g_modes.raw_on = 1;
    // TCSANOW, never TCSAFLUSH: keys typed before the first prompt stay for it.
    if (!enter_raw_mode()) {
      g_modes.raw_on = 0;
      return;
    }
    std::atexit(restore_at_exit);
    // The screen is set up in raw mode, where the terminal can be asked its size; then pastes
    // are marked if it draws on a terminal.
    format_.utf8 = terminal_posix::screen_utf8();
    g_modes.paste_wanted = g_modes.output_fd >= 0;
    mark_pastes();
  }

  KeyFormat format() override { return format_; }

  // A hang-up in the key wait is answered by the key reads (kHungUp), on the main thread.
  void install_event_handler(void (*)()) override {
    if (!g_modes.raw_on) return;
    sigaction(SIGHUP, nullptr, &g_hang_up.before);
    g_hang_up.caught = catch_signal(SIGHUP, on_hangup);
    std::atexit(remove_event_handler);
  }

  // In the background nothing is read: the terminal's input is the foreground job's, and a
  // read would stop the program (SIGTTIN).
  long read_bytes(unsigned char* bytes, std::size_t size) override {
    if (!g_modes.raw_on) return -1;  // the terminal refused raw mode: no key can be read
    if (!g_pending.bytes.empty()) {
      const std::size_t n = g_pending.bytes.copy(reinterpret_cast<char*>(bytes), size);
      g_pending.bytes.erase(0, n);
      return static_cast<long>(n);
    }
    for (;;) {
      if (g_signals.hangup) return kHungUp;
      if (!in_foreground()) return 0;
      struct pollfd input = {STDIN_FILENO, POLLIN, 0};
      const int ready = poll(&input, 1, 0);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (ready == 0) return 0;
      if ((input.revents & POLLIN) == 0)
        return kHungUp;  // POLLHUP, POLLERR, POLLNVAL: no data ever
      const ssize_t n = read(STDIN_FILENO, bytes, size);
      if (n > 0) return static_cast<long>(n);
      if (n == 0 || errno == EIO) return kHungUp;  // ready yet empty: the terminal is gone
      if (errno != EINTR && errno != EAGAIN) return -1;
    }
  }

  // The signals that end the wait are blocked while it looks at the flags and unblocked only
  // inside ppoll(), so one that comes in between ends the ppoll() at once instead of being
  // slept through. A dead terminal ends it too (POLLHUP). In the background the input is not
  // the program's: the wait ends on a signal, or after kBackgroundLookMs to see whether the
  // program is in the foreground again (bash's `fg` of a job running in the background sends no
  // SIGCONT); then the terminal is taken back as after a stop.
  void wait(int timeout_ms) override {
    // What the editor drew must be on the screen before the program blocks.
    terminal_screen().flush();
    if (!g_modes.raw_on || !g_pending.bytes.empty()) return;
    sigset_t wake;
    sigset_t before;
    sigemptyset(&wake);
    sigaddset(&wake, SIGHUP);
    sigaddset(&wake, SIGCONT);
    sigaddset(&wake, SIGWINCH);
    sigprocmask(SIG_BLOCK, &wake, &before);
    g_signals.in_key_wait = 1;
    if (!g_signals.wake && !g_signals.hangup) {
      const bool foreground = in_foreground();
      if (!foreground && (timeout_ms < 0 || timeout_ms > kBackgroundLookMs)) {
        timeout_ms = kBackgroundLookMs;
      }
      struct pollfd input = {STDIN_FILENO, POLLIN, 0};
      struct timespec limit = {timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
      ppoll(&input, foreground ? 1 : 0, timeout_ms < 0 ? nullptr : &limit, &before);
      if (!foreground && in_foreground()) {
        reenter_raw_mode();
        g_signals.resumed = 1;
      }
    }
    g_signals.in_key_wait = 0;
    g_signals.wake = 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
  }

 private:
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

namespace terminal_posix {

void write_all(int fd, const char* data, std::size_t size) {
  write_all_waiting(fd, data, size);  // a terminal that hung up takes nothing more
}

// Async-signal-safe. A process with no terminal of its own (tcgetpgrp fails) counts as in
// the foreground: there is no one else to yield to.
bool in_foreground() {
  const pid_t group = tcgetpgrp(STDIN_FILENO);
  return group < 0 || group == getpgrp();
}

bool ask_terminal_size(int& cols, int& rows) {
  if (!g_modes.raw_on || g_modes.away || g_modes.output_fd < 0 || !in_foreground()) return false;
  write_all(g_modes.output_fd, kAskPosition, sizeof kAskPosition - 1);
  std::string& got = g_pending.bytes;
  const std::size_t kept = got.size();
  const long deadline = now_ms() + kAnswerWaitMs;
  for (;;) {
    std::size_t start = 0;
    std::size_t end = 0;
    if (find_position_answer(got, kept, start, end, rows, cols)) {
      got.erase(start, end - start);
      return rows > 0 && cols > 0;
    }
    const long left = deadline - now_ms();
    if (left <= 0) return false;
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (input.revents & POLLIN) == 0) return false;
    char chunk[256];
    const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) return false;  // a hang-up: the next read of keys finds it
    got.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace terminal_posix

// Leaving and re-entering the program's terminal mode around a command. A stop in between
// leaves the modes to the command (away).
void leave_terminal_mode() {
  terminal_posix::screen_leave();
  g_modes.away = 1;
  restore_terminal();
}

void reenter_terminal_mode() {
  g_modes.away = 0;
  reenter_raw_mode();
  terminal_posix::screen_reenter();
}

int terminal_output_fd() {
  ScreenInfo info;
  terminal_screen().read_info(info);  // sets the screen up if nothing has yet
  return g_modes.output_fd;
}

}  // namespace zepa
