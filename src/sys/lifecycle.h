#pragma once

namespace zepa {

// The end of the process. Only the dialogue (and main, after it) calls these.

// Ends the process as a hang-up of its terminal does (by SIGHUP on POSIX), after the terminal's
// modes and standard output: the end when the dialogue's terminal has gone.
[[noreturn]] void end_program_hung_up();

// Ends the process with `code` after the exit work (standard output written out, file
// channels closed). A failed standard output turns a code of 0 into 1.
[[noreturn]] void end_program(int code);

// The exit work, registered by start-up to run when the process ends: every file channel
// still open is written out and closed, and so is standard output.
void runtime_shutdown();

}  // namespace zepa
