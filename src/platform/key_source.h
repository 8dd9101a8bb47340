#pragma once

namespace zepa {

// Where key codes come from: the Windows console's key events, a POSIX terminal's bytes, or a
// script in tests. Codes are handed to the keyboard queue with push_key.
class KeySource {
 public:
  virtual ~KeySource() = default;

  // Console input set-up, done once by console_setup (processed input, raw terminal mode).
  virtual void setup() = 0;
  // Called at the first poll of the keyboard: installs the console event handler and registers
  // its removal for the end of the process.
  virtual void install_event_handler() = 0;
  // Moves every pending key into the keyboard queue; never blocks. False when reading failed.
  virtual bool drain() = 0;
  // Blocks until input may be pending or `timeout_ms` has passed.
  virtual void wait(int timeout_ms) = 0;
};

}  // namespace zepa
