#pragma once

#include "platform/key_source.h"
#include "platform/screen_buffer.h"

namespace zepa {

// The POSIX terminal behind standard output and standard input.
ScreenBuffer& terminal_screen();
KeySource& terminal_keys();

// Whether the terminal named by TERM can address the cursor: TERM is set and is not "dumb".
bool terminal_addresses_cursor();

}  // namespace zepa
