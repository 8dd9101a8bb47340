#pragma once

#include <cstdint>

namespace zepa {

// A key code: 0..255 is a byte as the console delivers it; number * 256 + 255 is an extended
// key (for a key without modifiers the number is its scan code); -1 is no key.
using KeyCode = std::int32_t;

constexpr KeyCode extended_key(int number) { return number * 256 + 0xFF; }

inline constexpr KeyCode kNoKey = -1;
inline constexpr KeyCode kKeyBackspace = 8;
inline constexpr KeyCode kKeyTab = 9;
inline constexpr KeyCode kKeyLineFeed = 10;
inline constexpr KeyCode kKeyEnter = 13;
inline constexpr KeyCode kKeyEsc = 27;
inline constexpr KeyCode kKeyHome = extended_key(0x47);
inline constexpr KeyCode kKeyUp = extended_key(0x48);
inline constexpr KeyCode kKeyPageUp = extended_key(0x49);
inline constexpr KeyCode kKeyLeft = extended_key(0x4B);
inline constexpr KeyCode kKeyRight = extended_key(0x4D);
inline constexpr KeyCode kKeyEnd = extended_key(0x4F);
inline constexpr KeyCode kKeyDown = extended_key(0x50);
inline constexpr KeyCode kKeyPageDown = extended_key(0x51);
inline constexpr KeyCode kKeyInsert = extended_key(0x52);
inline constexpr KeyCode kKeyDelete = extended_key(0x53);
inline constexpr KeyCode kKeyF1 = extended_key(0x3B);   // F1..F10: 0x3B..0x44
inline constexpr KeyCode kKeyF11 = extended_key(0x85);
inline constexpr KeyCode kKeyF12 = extended_key(0x86);
// A typed character that Windows-1252 has no byte for (an emoji, a CJK ideogram): the line
// cannot hold it, and the editor answers with the beep.
inline constexpr KeyCode kKeyNoByte = extended_key(0xFE);
// Alt+F4: what the console pushes when its window is closed (and a terminal hangs up).
inline constexpr KeyCode kCloseKey = extended_key(0x6B);

}  // namespace zepa
