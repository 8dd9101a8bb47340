#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zepa {

// next_char's value for the end of the text or of standard input; distinct from every byte.
inline constexpr int kEndMarker = 256;

inline constexpr int kNumberItemLimit = 67;
inline constexpr int kTextItemLimit = 4096;

// The character source of items: the input line's text, or standard input byte by byte (after
// bytes put back, last put back first).
int next_char();
// Gives `c` back to the source; the end marker is never put back.
void put_back_char(int c);

struct ItemResult {
  int count = 0;
  bool float_mark = false;
};

enum class ItemMode { kNumber, kText };

// Reads one item (blanks, commas, quotes and line ends separate items) into `buffer`, storing
// at most `limit` bytes. In number mode "D"/"d" are stored as "E"/"e" and a blank ends the item.
ItemResult next_item(unsigned char* buffer, int limit, ItemMode mode);

// Whether the line just typed at a console begins with a number written with a decimal comma:
// after the blanks before it, and an opening double quote and blanks if there are any, a sign,
// digits and points, then at once a comma and a digit ("2,5", "-0,75", "1,5e3", ",5",
// "1.500,25"). Such a line would read as the number before the comma. Redirected input has no
// typed line (its items come from standard input, where a comma always separates): false.
bool typed_decimal_comma();

// Takes the next item as a number (67 bytes at most) into `target`.
void input_single(float& target);
// Takes the next item as a text (4096 bytes at most, cut at a zero byte) into `target`.
void input_text(std::string& target);

// The value of a numeric item's bytes: the decimal conversion when `float_mark` is set or the
// item is long, the 32- or 64-bit integer conversion (with "&H", "&O", "&B" radix prefixes)
// otherwise; rounded to single.
float number_item_value(std::string_view item, bool float_mark);

// Correctly rounded text-to-double, independent of the locale: leading white space, sign,
// digits with "." and an exponent, "inf", "infinity", "nan", hexadecimal "0x" significands;
// stops at the first byte that does not fit; +0 when no number begins the text. Beyond the
// double's range an infinity, below it a zero, of the number's sign.
double decimal_to_double(std::string_view text);

// The integer conversion of an item of `bits` (32 or 64) bits, wrapping in two's complement.
std::int64_t integer_conversion(std::string_view item, int bits);

}  // namespace zepa
