#pragma once

#include "platform/key_source.h"
#include "platform/screen_buffer.h"

namespace zepa {

// The Windows console behind the standard output and standard input handles.
ScreenBuffer& console_screen();
KeySource& console_keys();

}  // namespace zepa
