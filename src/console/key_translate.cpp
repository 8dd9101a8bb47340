#include "console/key_translate.h"

#include <cctype>
#include <cstddef>

#include "console/key_table.h"
#include "platform/cp1252.h"

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

constexpr unsigned kVirtualKeyAlt = 0x12;  // VK_MENU

bool high_surrogate(char16_t ch) {
  return ch >= 0xD800 && ch <= 0xDBFF;
}
bool low_surrogate(char16_t ch) {
  return ch >= 0xDC00 && ch <= 0xDFFF;
}

}  // namespace

int key_byte(unsigned ch) {
  if (ch == 0) return 0;
  if (ch > 0xFFFF || (ch >= 0xD800 && ch <= 0xDFFF)) return -1;
  return cp1252_from_unicode(static_cast<char32_t>(ch));
}

KeyCode translate_key(unsigned char a, unsigned s, unsigned v, std::uint32_t state,
                      KeyCharFunction key_char) {
  const KeyColumn column = column_of(state);
  if ((state & kEnhancedKey) && a == 0) return enhanced_key(s, column);
  if (s > 88) return character_or_none(a);
  // The key's own character through the table the typed one went through; none when the code
  // page lacks it or the key is a dead key.
  const int own = key_byte(key_char(v));
  const unsigned k = own > 0 ? static_cast<unsigned>(own) : 0;
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
  if (!event.key_down) {
    if (alt) return kNoKey;
    // Alt let go after keypad digits: the console's own composition, by the code page the
    // digits name, is the character, the same in every host that reports it.
    if (event.virtual_key == kVirtualKeyAlt && event.character != 0) {
      accumulator_ = 0;
      return character_code(event.character, false);
    }
    return deliver();
  }
  const int a = key_byte(event.character);
  const KeyCode code = a < 0 ? character_code(event.character, alt)
                             : translate_key(static_cast<unsigned char>(a), event.scan_code,
                                             event.virtual_key, event.state, key_char_);
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

// A character as the line takes it. One that Windows-1252 lacks is refused with the editor's
// beep, once for a pair of surrogates (at its first half), and not at all with Alt or for a C1
// control, as on a terminal.
KeyCode KeyEventTranslator::character_code(char16_t ch, bool alt) const {
  const int byte = key_byte(ch);
  if (byte >= 0) return byte != 0 ? byte : kNoKey;
  if (alt || low_surrogate(ch)) return kNoKey;
  return high_surrogate(ch) || ch >= 0xA0 ? kKeyNoByte : kNoKey;
}

KeyCode KeyEventTranslator::deliver() {
  if (accumulator_ == 0) return kNoKey;
  const KeyCode code = static_cast<KeyCode>(accumulator_ % 256);
  accumulator_ = 0;
  return code;
}

}  // namespace zepa
