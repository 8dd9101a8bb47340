#pragma once

#include "platform/file.h"
#include "platform/key_source.h"
#include "platform/process.h"
#include "platform/screen_buffer.h"

namespace zepa {

// Errors in the platform layer: a call that counts (bytes, a position, a handle) returns the
// count, with a negative value for a failure or an end (-1, kNoFile, kHungUp); a call with
// nothing to count returns true or false. The system's own detail (errno, GetLastError) goes
// no further. Nothing here ends the process but the signal handlers, by the signal's default
// action, and Process::end_hung_up, which the dialogue's end calls.

// The platform services the program runs on. The native ones are installed at start-up; tests
// install in-memory ones.
struct Platform {
  ScreenBuffer* screen = nullptr;
  KeySource* keys = nullptr;
  Process* process = nullptr;
  Files* files = nullptr;  // none: the native files (tests that use real files leave it so)
};

void install_platform(const Platform& platform);
Platform& platform();

// The native services of the platform the program was built for (one file per platform).
// On POSIX systems it also sets SIGPIPE and SIGXFSZ to be ignored, for the whole process: a
// closed pipe on standard output, or a write past the file-size limit, then comes back as a
// failed write, which the program reports, instead of ending it without a word. SIGCHLD gets
// its default action (the help opener's status can be waited for) and no signal stays blocked
// (Ctrl+C ends the program whatever mask the parent left).
Platform native_platform();

}  // namespace zepa
