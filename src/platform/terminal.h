#pragma once

#include "platform/key_source.h"
#include "platform/screen_buffer.h"

namespace zepa {

// The POSIX terminal behind standard output and standard input.
ScreenBuffer& terminal_screen();
KeySource& terminal_keys();

}  // namespace zepa
