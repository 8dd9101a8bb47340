#pragma once

// What the two halves of the POSIX terminal backend share: the screen
// (terminal_screen_posix.cpp) and the keys with the signal handlers (terminal_posix.cpp).
// Only for those two files.

#include <csignal>
#include <cstddef>

namespace zepa::terminal_posix {

// The terminal was last told to hide the cursor; the handlers that give the terminal back
// show it again (on g_output_fd).
extern volatile std::sig_atomic_t g_cursor_hidden;
// Set by the SIGCONT handler: the program was stopped and the terminal shows whatever the
// shell left on it. The screen takes the flag at its next look (take_resize, flush).
extern volatile std::sig_atomic_t g_resumed;
// Set by every handler whose signal should end the key wait (SIGHUP, SIGCONT, SIGWINCH); the
// wait, which blocks those signals while it looks, skips blocking when it is set, so a signal
// handled just before the wait is not slept through.
extern volatile std::sig_atomic_t g_wake;
// The descriptor the screen draws on: standard output, or the controlling terminal opened
// afresh when standard output is a file or a pipe; -1 before the screen is set up or when
// there is no terminal to draw on.
extern volatile int g_output_fd;

// write() until everything is written or the terminal refuses; async-signal-safe.
void write_all(int fd, const char* data, std::size_t size);

// Screen side of leaving and re-entering the program's terminal mode around a command: the
// cursor shown and everything sent; then the whole window painted again from the screen's
// own copy of its cells.
void screen_leave();
void screen_reenter();

// Whether the user's locale encodes characters in UTF-8 (and typed characters arrive so).
bool screen_utf8();

}  // namespace zepa::terminal_posix
