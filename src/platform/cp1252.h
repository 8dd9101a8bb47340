#pragma once

#include <cstddef>

namespace zepa {

// The program's text is Windows-1252; terminals and the Windows console's wide calls want
// Unicode. These convert at that edge only.

// The character a byte shows as a console cell. Bytes that are control codes in Unicode (0-31,
// 127) and the five bytes Windows-1252 leaves undefined get visible stand-ins (the Control
// Pictures block, U+2421 for 127, U+FFFD), so a cell never turns into a control code.
char32_t cp1252_cell_char(unsigned char byte);

// The Windows-1252 byte of a typed character, or -1 when the code page has none. Controls and
// ASCII map to themselves.
int cp1252_from_unicode(char32_t ch);

// Writes the UTF-8 form of `ch` (at most 4 bytes) to `out`; returns the count.
std::size_t encode_utf8(char32_t ch, char* out);

}  // namespace zepa
