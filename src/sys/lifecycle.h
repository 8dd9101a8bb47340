#pragma once

#include <string_view>

namespace zepa {

// Runs once before the dialogue: clears the process-wide records, sets round-to-nearest,
// takes the character-type locale from the environment and registers the runtime shutdown.
void runtime_startup();

// Hands `command` to the command processor and waits: its status, or -1 for an empty text.
// Standard output is flushed first.
int run_command(std::string_view command);

// Ends the process with `code` after the exit work (standard output written out, file
// channels closed). A failed standard output turns a code of 0 into 1.
[[noreturn]] void end_program(int code);

// Sends what the console and standard output still hold: before the program blocks for a key,
// runs a command or ends.
void flush_all_output();

// Clears every process-wide record (channels, console, keyboard, input line, standard
// streams) without touching the platform: start-up and tests.
void reset_runtime_state();

}  // namespace zepa
