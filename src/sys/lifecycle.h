#pragma once

#include <string_view>

namespace zepa {

// Hands `command` to the command processor and waits: its status, or -1 for an empty text.
// Standard output is flushed first.
int run_command(std::string_view command);

// Ends the process with `code` after the exit work (standard output written out, file
// channels closed). A failed standard output turns a code of 0 into 1.
[[noreturn]] void end_program(int code);

// The exit work, registered by start-up to run when the process ends: every file channel
// still open is written out and closed, and so is standard output.
void runtime_shutdown();

}  // namespace zepa
