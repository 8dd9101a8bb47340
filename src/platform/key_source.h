#pragma once

#include <cstddef>
#include <cstdint>

namespace zepa {

// A read's answer when the terminal has hung up: no input will ever come.
inline constexpr long kHungUp = -2;

// One key event of the Windows console, with the fields the keyboard layer uses.
struct KeyEvent {
  bool key_down = true;
  unsigned repeat_count = 1;
  unsigned virtual_key = 0;
  unsigned scan_code = 0;
  // The character as UTF-16 (one half of a surrogate pair in each of two events), 0 for none.
  // A key-up of Alt that ends an Alt+keypad number carries the character the console composed.
  char16_t character = 0;
  std::uint32_t state = 0;  // the control-key state bits
};

// How a key source delivers keys: a terminal's bytes (read with read_bytes) or a console's key
// events (read with read_events).
struct KeyFormat {
  bool events = false;
  unsigned char erase = 127;  // bytes: the terminal's erase character (VERASE), 0 for none
  bool utf8 = true;           // bytes: characters arrive as UTF-8, not as Windows-1252 bytes
};

// Where keys come from: the Windows console's key events, a POSIX terminal's bytes, or a script
// in tests. A source hands back what the platform delivered; the console's keyboard layer turns
// it into key codes.
class KeySource {
 public:
  virtual ~KeySource() = default;

  // Console input set-up, done once by console_setup (processed input, raw terminal mode).
  virtual void setup() = 0;
  // Valid after setup().
  virtual KeyFormat format() { return {}; }
  // Called at the first poll of the keyboard: installs the console event handler, which calls
  // `on_close` (from any thread) when the console is closed, and registers its removal for the
  // end of the process. A terminal's hang-up comes back from read_bytes instead (kHungUp).
  virtual void install_event_handler(void (*on_close)()) = 0;
  // Reads pending input without blocking, at most `size` bytes or events: the count, 0 when
  // nothing is pending, -1 when reading failed, kHungUp when the terminal has gone.
  virtual long read_bytes(unsigned char*, std::size_t) { return 0; }
  virtual long read_events(KeyEvent*, std::size_t) { return 0; }
  // The key's own character for a virtual-key code as the keyboard layout gives it, in UTF-16,
  // 0 for none (key events only).
  virtual unsigned key_char(unsigned) { return 0; }
  // Blocks until input may be pending, a signal has been handled, or `timeout_ms` has passed
  // (-1: no limit).
  virtual void wait(int timeout_ms) = 0;
};

}  // namespace zepa
