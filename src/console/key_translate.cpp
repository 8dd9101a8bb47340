#include "console/key_translate.h"

#include <cctype>
#include <cstddef>

#include "console/key_table.h"

namespace zepa {

namespace {

constexpr std::uint32_t kAnyAlt = kRightAlt | kLeftAlt;
constexpr std::uint32_t kAnyCtrl = kRightCtrl | kLeftCtrl;

KeyColumn column_of(std::uint32_t state) {
  if (state & kAnyAlt) return kColumnAlt;
  if (state & kAnyCtrl) return kColumnCtrl;
  if (state & kShift) return kColumnShift;
  return kColumnPlain;
}

KeyCode character_or_none(unsigned char a) {
  return a != 0 ? a : kNoKey;
}

// The same letter in the other case by the C library's character-type locale; anything that
// is no letter (or no byte) stays as it is.
unsigned other_case(unsigned k) {
  if (k > 255) return k;
  const int ch = static_cast<int>(k);
  if (std::isupper(ch)) return static_cast<unsigned>(std::tolower(ch));
  if (std::islower(ch)) return static_cast<unsigned>(std::toupper(ch));
  return k;
}

bool alt_alone(std::uint32_t state) {
  return (state & kAnyAlt) != 0 && (state & (kAnyCtrl | kShift)) == 0;
}

bool keypad_digit(unsigned virtual_key) {
  return virtual_key >= 0x60 && virtual_key <= 0x69;
}

}  // namespace

KeyCode translate_key(unsigned char a, unsigned s, unsigned v, std::uint32_t state,
                      KeyCharFunction key_char) {
  const KeyColumn column = column_of(state);
  if ((state & kEnhancedKey) && a == 0) return enhanced_key(s, column);
  if (s > 88) return character_or_none(a);
  const unsigned k = key_char(v);
  unsigned e = kKeyTable[s][column];
  // The plain column takes the key's own character when the console delivered one, so that
  // the keypad gives its digits with Num Lock on and the editing keys with it off.
  if (column == kColumnPlain && a != 0) e = k;
  if (e >= 256 && (a == k || a == other_case(k))) return extended_entry(e);
  return character_or_none(a);
}

KeyCode KeyEventTranslator::handle(const KeyEvent& event) {
  if (event.key_down && event.repeat_count == 0) return kNoKey;
  const bool alt = alt_alone(event.state);
  if (!event.key_down) return alt ? kNoKey : deliver();
  const KeyCode code =
      translate_key(event.character, event.scan_code, event.virtual_key, event.state, key_char_);
  if (alt && keypad_digit(event.virtual_key)) {
    accumulator_ = accumulator_ * 10 + (event.virtual_key - 0x60);
    return code;
  }
  if (code != kNoKey) {
    accumulator_ = 0;
    return code;
  }
  return alt ? kNoKey : deliver();
}

KeyCode KeyEventTranslator::deliver() {
  if (accumulator_ == 0) return kNoKey;
  const KeyCode code = static_cast<KeyCode>(accumulator_ % 256);
  accumulator_ = 0;
  return code;
}

}  // namespace zepa
