#pragma once

#include "platform/file.h"
#include "platform/key_source.h"
#include "platform/process.h"
#include "platform/screen_buffer.h"

namespace zepa {

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
// failed write, which the program reports, instead of ending it without a word.
Platform native_platform();

}  // namespace zepa
