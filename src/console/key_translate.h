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

// The key's own character for a virtual-key code, as the keyboard layout gives it, in UTF-16
// (0 for none; a dead key has the top bit set); on Windows MapVirtualKeyW with MAPVK_VK_TO_CHAR.
using KeyCharFunction = unsigned (*)(unsigned virtual_key);

// The Windows-1252 byte of a typed UTF-16 character: 0 for none, -1 for one the code page
// lacks (a half of a surrogate pair among them). The key's own character goes through the
// same table, so that the Alt rule compares like with like whatever the console's code page.
int key_byte(unsigned ch);

// The key code of one key-down event: `a` the character's Windows-1252 byte (0 for none), `s`
// the scan code, `v` the virtual-key code, `state` the control-key state. Column Alt before
// Ctrl before Shift before plain; enhanced keys through their own table, scan codes 0..88
// through the key table, where an extended entry wins only when `a` is the key's own character
// in either case (letters follow the character-type locale). -1 for no key.
KeyCode translate_key(unsigned char a, unsigned s, unsigned v, std::uint32_t state,
                      KeyCharFunction key_char);

// Turns key events into key codes: translate_key plus the composition of a character typed as
// Alt and numeric-keypad digits. When Alt is let go the character the console composed (carried
// by the key-up of Alt: Alt+ddd in the OEM code page, Alt+0ddd in the ANSI one) is the code;
// a console that carries none gets the digits' number mod 256 (if not 0), which is also what a
// key that yields no code delivers when it arrives without Alt. A character Windows-1252 lacks
// gives kKeyNoByte (the editor beeps), once for a surrogate pair; with Alt alone, nothing.
// Holds the Alt-number accumulator.
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
  KeyCode character_code(char16_t ch, bool alt) const;

  KeyCharFunction key_char_;
  // Wraps modulo 2^32 like the 32-bit integer it stands for.
  std::uint32_t accumulator_ = 0;
};

}  // namespace zepa
