#pragma once

#include <cstdint>

namespace zepa {

// A key code: 0..255 is a byte as the console delivers it; number * 256 + 255 is an extended
// key (for a key without modifiers the number is its scan code); -1 is no key.
using KeyCode = std::int32_t;

constexpr KeyCode extended_key(int number) {
  return number * 256 + 0xFF;
}

inline constexpr KeyCode kNoKey = -1;
inline constexpr KeyCode kKeyBackspace = 8;
inline constexpr KeyCode kKeyTab = 9;
inline constexpr KeyCode kKeyLineFeed = 10;
inline constexpr KeyCode kKeyEnter = 13;
inline constexpr KeyCode kKeyEsc = 27;
// Scan codes of the keys the program names: the key tables are indexed by them, and a key
// without modifiers has its scan code as its extended number.
enum ScanCode : unsigned {
  kScanEsc = 0x01,
  kScanBackspace = 0x0E,
  kScanTab = 0x0F,
  kScanEnter = 0x1C,
  kScanF1 = 0x3B,  // F1..F10: 0x3B..0x44
  kScanHome = 0x47,
  kScanUp = 0x48,
  kScanPageUp = 0x49,
  kScanLeft = 0x4B,
  kScanBegin = 0x4C,  // the keypad's middle key
  kScanRight = 0x4D,
  kScanEnd = 0x4F,
  kScanDown = 0x50,
  kScanPageDown = 0x51,
  kScanInsert = 0x52,
  kScanDelete = 0x53,
  kScanF11 = 0x57,  // F11, F12: 0x57, 0x58
};

inline constexpr KeyCode kKeyHome = extended_key(kScanHome);
inline constexpr KeyCode kKeyUp = extended_key(kScanUp);
inline constexpr KeyCode kKeyPageUp = extended_key(kScanPageUp);
inline constexpr KeyCode kKeyLeft = extended_key(kScanLeft);
inline constexpr KeyCode kKeyRight = extended_key(kScanRight);
inline constexpr KeyCode kKeyEnd = extended_key(kScanEnd);
inline constexpr KeyCode kKeyDown = extended_key(kScanDown);
inline constexpr KeyCode kKeyPageDown = extended_key(kScanPageDown);
inline constexpr KeyCode kKeyInsert = extended_key(kScanInsert);
inline constexpr KeyCode kKeyDelete = extended_key(kScanDelete);
inline constexpr KeyCode kKeyF1 = extended_key(kScanF1);
// F11 and F12 have extended numbers of their own, not their scan codes.
inline constexpr KeyCode kKeyF11 = extended_key(0x85);
inline constexpr KeyCode kKeyF12 = extended_key(0x86);
// A typed character that Windows-1252 has no byte for (an emoji, a CJK ideogram): the line
// cannot hold it, and the editor answers with the beep.
inline constexpr KeyCode kKeyNoByte = extended_key(0xFE);
// Alt+F4: what the console pushes when its window is closed (and a terminal hangs up).
inline constexpr KeyCode kCloseKey = extended_key(0x6B);

}  // namespace zepa
