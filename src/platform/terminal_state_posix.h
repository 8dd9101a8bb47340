#pragma once

// The POSIX terminal backend is two halves: the keyboard (terminal_keys_posix.cpp: raw mode,
// the signal handlers that give the terminal back, the key bytes) and the screen
// (terminal_screen_posix.cpp: the copy of the cells, the size, the drawing). This header holds
// the state they share, one record per concern, for those two files only.
//
// Every escape sequence the program sends (VT100 / ECMA-48 / xterm; tmux, screen, the Linux
// console and their kin all have them):
//   ESC [ row ; col H       CUP      move the cursor (counted from 1): before a run of cells,
//                                    and to the cursor's cell before the program waits
//   ESC [ K                 EL       erase from the cursor to the end of the row, in the
//                                    current colours (blanking a row up to the right edge)
//   ESC [ ? 25 l / h        DECTCEM  hide / show the cursor
//   ESC 7 ESC [ r ESC 8     DECSC, DECSTBM without margins, DECRC: the whole screen is the
//                                    scroll region again (an earlier program may have left a
//                                    smaller one), the cursor stays: sent when the screen is
//                                    set up, after a command and after a stop
//   ESC [ 999 C ESC [ 999 B ESC [ 6 n
//                           CUF, CUD, DSR  to the far corner, then ask where the cursor is:
//                                    the answer ESC [ rows ; cols R is the terminal's size;
//                                    asked only when the kernel reports none (0 x 0)
//   ESC [ ? 2004 h / l               bracketed paste on with raw mode, off on every way out:
//                                    the terminal marks a paste with ESC [ 200 ~ and
//                                    ESC [ 201 ~ (xterm; ignored where unknown)
//   LF (10)                 on the bottom row: scroll the screen up one row; the top row goes
//                                    to the terminal's scrollback
//   BEL (7)                 the beep
// No colour is ever set, and no scroll region of the program's own: the copy does what a region
// would. The sequences that keys send are decoded above the platform, by the console's keyboard
// layer (console/key_decoder.cpp lists them).

#include <termios.h>

#include <csignal>
#include <cstddef>
#include <string>

namespace zepa::terminal_posix {

// The terminal's modes and what the program has told it: what the signal handlers need to give
// the terminal back as it was.
struct Modes {
  struct termios saved {};  // the terminal's modes before raw mode
  struct termios raw {};
  volatile std::sig_atomic_t raw_on = 0;         // raw mode is the program's input mode
  volatile std::sig_atomic_t away = 0;           // a command has the terminal in its own modes
  volatile std::sig_atomic_t paste_marked = 0;   // the terminal was told to bracket pastes
  volatile std::sig_atomic_t cursor_hidden = 0;  // the terminal was last told to hide it
  bool paste_wanted = false;  // raw mode brings bracketed paste (the screen draws on a terminal)
  // The descriptor the screen draws on: standard output, or the controlling terminal opened
  // afresh when standard output is a file or a pipe; -1 before the screen is set up or when
  // there is no terminal to draw on.
  volatile int output_fd = -1;
};

// What the signal handlers noted, for the program's own flow to act on; a handler only sets
// these.
struct SignalFlags {
  volatile std::sig_atomic_t hangup = 0;   // SIGHUP came
  volatile std::sig_atomic_t resumed = 0;  // SIGCONT: the terminal shows what the shell left
  volatile std::sig_atomic_t resized = 0;  // SIGWINCH
  // Set with each of them: the key wait, which blocks those signals while it looks, skips
  // blocking when it is set, so a signal handled just before the wait is not slept through.
  volatile std::sig_atomic_t wake = 0;
  // The main thread is blocked in the key wait, where a hang-up is answered on that thread.
  volatile std::sig_atomic_t in_key_wait = 0;
};

extern Modes g_modes;
extern SignalFlags g_signals;

// write() until everything is written or the terminal refuses; async-signal-safe.
void write_all(int fd, const char* data, std::size_t size);

// Whether the terminal's foreground process group is the program's: in the background the
// program neither draws nor reads.
bool in_foreground();

// The keyboard side asks the terminal for its size (the cursor position report), in raw mode
// and in the foreground only, waiting about 100 ms for the answer: false when there is none.
// Keys typed meanwhile are kept for the next read.
bool ask_terminal_size(int& cols, int& rows);

// Screen side of leaving and re-entering the program's terminal mode around a command: the
// cursor shown and everything sent; then the whole window painted again from the screen's
// own copy of its cells.
void screen_leave();
void screen_reenter();

// Sets the screen up (the terminal to draw on, its character set and size) once raw mode is
// on; whether the user's locale encodes characters in UTF-8 (and typed characters arrive so).
bool screen_utf8();

}  // namespace zepa::terminal_posix
