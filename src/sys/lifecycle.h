#pragma once

#include <string>
#include <string_view>

namespace zepa {

// Hands `command` to the command processor and waits: its status, or -1 for an empty text.
// Standard output is flushed first.
int run_command(std::string_view command);

// Opens the local file `path` with the program the user has chosen for it, and waits for the
// opener: 0 when it reports success. Standard output is flushed first.
int open_file(const std::string& path);

// Ends the process as a hang-up of its terminal does, standard output written out first:
// nothing more is read, computed or recorded.
[[noreturn]] void end_hung_up();

// Ends the process with `code` after the exit work (standard output written out, file
// channels closed). A failed standard output turns a code of 0 into 1.
[[noreturn]] void end_program(int code);

// The exit work, registered by start-up to run when the process ends: every file channel
// still open is written out and closed, and so is standard output.
void runtime_shutdown();

}  // namespace zepa
