#pragma once

#include <cstddef>
#include <string>

#include "platform/key_source.h"
#include "platform/screen_buffer.h"

namespace zepa {

// The POSIX terminal behind standard output and standard input.
ScreenBuffer& terminal_screen();
KeySource& terminal_keys();

// Whether the terminal named by TERM can address the cursor: TERM is set and is not "dumb".
bool terminal_addresses_cursor();

// The program's Windows-1252 text as a terminal that cannot address the cursor shows it: in the
// locale's character set (UTF-8, or ISO-8859-1), with a stand-in where the set has no character;
// ASCII and the controls (line ends, the beep) pass unchanged. Appends to `out`.
void append_plain_terminal_text(const unsigned char* bytes, std::size_t size, std::string& out);

// Around a command that takes the terminal (the help opener): leave gives the terminal its
// saved modes with the cursor shown; re-enter takes raw mode back and paints the program's
// screen again from its copy.
void leave_terminal_mode();
void reenter_terminal_mode();

// The descriptor the screen draws on: standard output, or the controlling terminal when
// standard output is a file or a pipe and standard input a terminal; -1 for none.
int terminal_output_fd();

}  // namespace zepa
