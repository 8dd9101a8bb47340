#include "console/key_table.h"

namespace zepa {

namespace {

// An extended key number in the high byte of a table entry.
constexpr std::uint16_t X(unsigned number) {
  return static_cast<std::uint16_t>(number << 8);
}

}  // namespace

// The key table by scan code: plain, Shift, Ctrl, Alt. Only the extended entries (256 and
// above) matter; the character entries below 256 are never a result, so they are kept as 0.
const std::uint16_t kKeyTable[89][4] = {
    {0, 0, 0, 0},                          // 0x00
    {0, 0, 0, X(0x01)},                    // 0x01 Esc
    {0, 0, 0, X(0x78)},                    // 0x02 1
    {0, 0, X(0x03), X(0x79)},              // 0x03 2
    {0, 0, 0, X(0x7A)},                    // 0x04 3
    {0, 0, 0, X(0x7B)},                    // 0x05 4
    {0, 0, 0, X(0x7C)},                    // 0x06 5
    {0, 0, 0, X(0x7D)},                    // 0x07 6
    {0, 0, 0, X(0x7E)},                    // 0x08 7
    {0, 0, 0, X(0x7F)},                    // 0x09 8
    {0, 0, 0, X(0x80)},                    // 0x0A 9
    {0, 0, 0, X(0x81)},                    // 0x0B 0
    {0, 0, 0, X(0x82)},                    // 0x0C -
    {0, 0, 0, X(0x83)},                    // 0x0D =
    {0, 0, 0, X(0xE0)},                    // 0x0E Backspace
    {0, X(0x0F), X(0x94), X(0x0F)},        // 0x0F Tab
    {0, 0, 0, X(0x10)},                    // 0x10 q
    {0, 0, 0, X(0x11)},                    // 0x11 w
    {0, 0, 0, X(0x12)},                    // 0x12 e
    {0, 0, 0, X(0x13)},                    // 0x13 r
    {0, 0, 0, X(0x14)},                    // 0x14 t
    {0, 0, 0, X(0x15)},                    // 0x15 y
    {0, 0, 0, X(0x16)},                    // 0x16 u
    {0, 0, 0, X(0x17)},                    // 0x17 i
    {0, 0, 0, X(0x18)},                    // 0x18 o
    {0, 0, 0, X(0x19)},                    // 0x19 p
    {0, 0, 0, X(0x1A)},                    // 0x1A [
    {0, 0, 0, X(0x1B)},                    // 0x1B ]
    {0, 0, 0, X(0x1C)},                    // 0x1C Enter
    {0, 0, 0, 0},                          // 0x1D Ctrl
    {0, 0, 0, X(0x1E)},                    // 0x1E a
    {0, 0, 0, X(0x1F)},                    // 0x1F s
    {0, 0, 0, X(0x20)},                    // 0x20 d
    {0, 0, 0, X(0x21)},                    // 0x21 f
    {0, 0, 0, X(0x22)},                    // 0x22 g
    {0, 0, 0, X(0x23)},                    // 0x23 h
    {0, 0, 0, X(0x24)},                    // 0x24 j
    {0, 0, 0, X(0x25)},                    // 0x25 k
    {0, 0, 0, X(0x26)},                    // 0x26 l
    {0, 0, 0, X(0x27)},                    // 0x27 ;
    {0, 0, 0, X(0x28)},                    // 0x28 '
    {0, 0, 0, X(0x29)},                    // 0x29 `
    {0, 0, 0, 0},                          // 0x2A left Shift
    {0, 0, 0, 0},                          // 0x2B backslash
    {0, 0, 0, X(0x2C)},                    // 0x2C z
    {0, 0, 0, X(0x2D)},                    // 0x2D x
    {0, 0, 0, X(0x2E)},                    // 0x2E c
    {0, 0, 0, X(0x2F)},                    // 0x2F v
    {0, 0, 0, X(0x30)},                    // 0x30 b
    {0, 0, 0, X(0x31)},                    // 0x31 n
    {0, 0, 0, X(0x32)},                    // 0x32 m
    {0, 0, 0, X(0x33)},                    // 0x33 ,
    {0, 0, 0, X(0x34)},                    // 0x34 .
    {0, 0, 0, X(0x35)},                    // 0x35 /
    {0, 0, 0, 0},                          // 0x36 right Shift
    {0, 0, 0, 0},                          // 0x37 keypad *
    {0, 0, 0, 0},                          // 0x38 Alt
    {0, 0, 0, 0},                          // 0x39 space
    {0, 0, 0, 0},                          // 0x3A Caps Lock
    {X(0x3B), X(0x54), X(0x5E), X(0x68)},  // 0x3B F1
    {X(0x3C), X(0x55), X(0x5F), X(0x69)},  // 0x3C F2
    {X(0x3D), X(0x56), X(0x60), X(0x6A)},  // 0x3D F3
    {X(0x3E), X(0x57), X(0x61), X(0x6B)},  // 0x3E F4
    {X(0x3F), X(0x58), X(0x62), X(0x6C)},  // 0x3F F5
    {X(0x40), X(0x59), X(0x63), X(0x6D)},  // 0x40 F6
    {X(0x41), X(0x5A), X(0x64), X(0x6E)},  // 0x41 F7
    {X(0x42), X(0x5B), X(0x65), X(0x6F)},  // 0x42 F8
    {X(0x43), X(0x5C), X(0x66), X(0x70)},  // 0x43 F9
    {X(0x44), X(0x5D), X(0x67), X(0x71)},  // 0x44 F10
    {0, 0, 0, 0},                          // 0x45 Num Lock
    {0, 0, 0, 0},                          // 0x46 Scroll Lock
    {X(0x47), 0, X(0x77), 0},              // 0x47 keypad 7
    {X(0x48), 0, X(0x8D), 0},              // 0x48 keypad 8
    {X(0x49), 0, X(0x84), 0},              // 0x49 keypad 9
    {0, 0, 0, 0},                          // 0x4A keypad -
    {X(0x4B), 0, X(0x73), 0},              // 0x4B keypad 4
    {X(0x4C), 0, X(0x8F), X(0x4C)},        // 0x4C keypad 5
    {X(0x4D), 0, X(0x74), 0},              // 0x4D keypad 6
    {0, 0, 0, 0},                          // 0x4E keypad +
    {X(0x4F), 0, X(0x75), 0},              // 0x4F keypad 1
    {X(0x50), 0, X(0x91), 0},              // 0x50 keypad 2
    {X(0x51), 0, X(0x76), 0},              // 0x51 keypad 3
    {X(0x52), 0, X(0x92), 0},              // 0x52 keypad 0
    {X(0x53), 0, X(0x93), 0},              // 0x53 keypad point
    {0, 0, 0, 0},                          // 0x54 SysRq
    {0, 0, 0, 0},                          // 0x55
    {0, 0, 0, 0},                          // 0x56 102nd key
    {X(0x85), X(0x87), X(0x89), X(0x8B)},  // 0x57 F11
    {X(0x86), X(0x88), X(0x8A), X(0x8C)},  // 0x58 F12
};

// Keys the console flags as enhanced (grey keys, keypad Enter and slash): scan code, then
// plain, Shift, Ctrl, Alt. Here entries below 256 are characters and are the result.
const std::uint16_t kEnhancedTable[12][5] = {
    {0x1C, 13, 13, 10, X(0xA6)},                 // keypad Enter
    {0x35, 47, 63, X(0x95), X(0xA4)},            // keypad slash
    {0x47, X(0x47), X(0x47), X(0x77), X(0x97)},  // Home
    {0x48, X(0x48), X(0x48), X(0x8D), X(0x98)},  // Up
    {0x49, X(0x49), X(0x49), X(0x84), X(0x99)},  // Page Up
    {0x4B, X(0x4B), X(0x4B), X(0x73), X(0x9B)},  // Left
    {0x4D, X(0x4D), X(0x4D), X(0x74), X(0x9D)},  // Right
    {0x4F, X(0x4F), X(0x4F), X(0x75), X(0x9F)},  // End
    {0x50, X(0x50), X(0x50), X(0x91), X(0xA0)},  // Down
    {0x51, X(0x51), X(0x51), X(0x76), X(0xA1)},  // Page Down
    {0x52, X(0x52), X(0x52), X(0x92), X(0xA2)},  // Insert
    {0x53, X(0x53), X(0x53), X(0x93), X(0xA3)},  // Delete
};

KeyCode extended_entry(std::uint16_t entry) {
  return (entry & 0xFF00) | 0xFF;
}

KeyCode table_key(unsigned scan, KeyColumn column) {
  if (scan >= sizeof kKeyTable / sizeof kKeyTable[0]) return kNoKey;
  const std::uint16_t entry = kKeyTable[scan][column];
  return entry >= 256 ? extended_entry(entry) : kNoKey;
}

KeyCode enhanced_key(unsigned scan, KeyColumn column) {
  // cppcheck takes the row (a reference to a const array) for a pointer it could make const.
  // cppcheck-suppress constVariable
  for (const auto& row : kEnhancedTable) {
    if (row[0] != scan) continue;
    const std::uint16_t entry = row[1 + column];
    if (entry == 0 && column != kColumnPlain) return kNoKey;
    return entry < 256 ? entry : extended_entry(entry);
  }
  return kNoKey;
}

}  // namespace zepa
