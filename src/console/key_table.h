#pragma once

#include <cstdint>

#include "console/key_codes.h"

namespace zepa {

// The key tables of the keyboard layer, shared by the translation of console key events and
// the decoding of terminal bytes, so that a key with its modifiers gives the same code from
// either source.

// The modifier columns of the tables. A key with several modifiers takes the column of Alt
// before Ctrl before Shift.
enum KeyColumn { kColumnPlain = 0, kColumnShift = 1, kColumnCtrl = 2, kColumnAlt = 3 };

// The key table by scan code 0..88, columns plain, Shift, Ctrl, Alt. Entries of 256 and above
// hold an extended key number in their high byte; entries below 256 are characters, kept as 0.
extern const std::uint16_t kKeyTable[89][4];

// Keys the console flags as enhanced (grey keys, keypad Enter and slash): scan code, then
// plain, Shift, Ctrl, Alt. Here entries below 256 are characters and are the result.
extern const std::uint16_t kEnhancedTable[12][5];

// The extended key code of a table entry of 256 and above (its low byte made 0xFF).
KeyCode extended_entry(std::uint16_t entry);

// The extended key code of the key table's entry for `scan` in `column`; -1 when the entry
// holds no extended key number.
KeyCode table_key(unsigned scan, KeyColumn column);

// The enhanced-key table's result for `scan` in `column`: a character or an extended key
// code; -1 when no row has that scan code, or a column other than plain holds 0.
KeyCode enhanced_key(unsigned scan, KeyColumn column);

}  // namespace zepa
