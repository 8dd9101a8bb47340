#pragma once

#include <cstdint>

#include "console/key_codes.h"
#include "platform/key_source.h"

namespace zepa {

// Control-key state bits of a console key event (KeyEvent::state).
inline constexpr std::uint32_t kRightAlt = 0x1;
inline constexpr std::uint32_t kLeftAlt = 0x2;
inline constexpr std::uint32_t kRightCtrl = 0x4;
inline constexpr std::uint32_t kLeftCtrl = 0x8;
inline constexpr std::uint32_t kShift = 0x10;
inline constexpr std::uint32_t kEnhancedKey = 0x100;

// The key's own character for a virtual-key code, as the keyboard layout gives it (0 for
// none); on Windows MapVirtualKeyA with MAPVK_VK_TO_CHAR.
using KeyCharFunction = unsigned (*)(unsigned virtual_key);

// The key code of one key-down event: `a` the character byte the console delivered (0 for
// none), `s` the scan code, `v` the virtual-key code, `state` the control-key state. Column
// Alt before Ctrl before Shift before plain; enhanced keys through their own table, scan codes
// 0..88 through the key table, where an extended entry wins only when `a` is the key's own
// character in either case (letters follow the character-type locale). -1 for no key.
KeyCode translate_key(unsigned char a, unsigned s, unsigned v, std::uint32_t state,
                      KeyCharFunction key_char);

// Turns key events into key codes: translate_key plus the composition of a byte typed as Alt
// and numeric-keypad digits, delivered (mod 256, if not 0) when Alt is let go or a key that
// yields no code arrives without Alt. Holds the Alt-number accumulator.
class KeyEventTranslator {
 public:
  explicit KeyEventTranslator(KeyCharFunction key_char) : key_char_(key_char) {}

  // The code `event` yields, or -1. A key-down with a repeat count of 0 yields nothing; any
  // other repeat count yields one code.
  KeyCode handle(const KeyEvent& event);

  std::uint32_t accumulator() const { return accumulator_; }
  void reset() { accumulator_ = 0; }

 private:
  KeyCode deliver();

  KeyCharFunction key_char_;
  // Wraps modulo 2^32 like the 32-bit integer it stands for.
  std::uint32_t accumulator_ = 0;
};

}  // namespace zepa
