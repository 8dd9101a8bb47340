#pragma once

#include "platform/key_source.h"
#include "platform/screen_buffer.h"

namespace zepa {

// The Windows console behind the standard output and standard input handles.
ScreenBuffer& console_screen();
KeySource& console_keys();

// Puts back the console input mode the program found, if it changed it; any thread, any number
// of times. The normal end, the console's control events and an end of the process's own
// (ExitProcess) call it.
void restore_console_input_mode();

}  // namespace zepa
