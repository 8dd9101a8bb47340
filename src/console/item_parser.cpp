#include "console/item_parser.h"

#include <limits>

#include "console/decimal_digits.h"
#include "console/line_input.h"
#include "console/text_to_double.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

bool is_blank(int c) {
  return c == ' ' || c == '\t';
}

// The white space that text-to-number conversions skip in the "C" locale.
bool is_white_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool starts_with_word(const char* p, const char* end, std::string_view word) {
  if (end - p < static_cast<std::ptrdiff_t>(word.size())) return false;
  for (char w : word) {
    if (lower(*p++) != w) return false;
  }
  return true;
}

// What follows an item: blanks are passed over; a line feed, a comma or the end ends the item
// there; a carriage return takes a line feed after it with it; anything else begins the next
// item.
void finish_item(int c) {
  while (is_blank(c)) c = next_char();
  if (c == '\n' || c == ',' || c == kEndMarker) return;
  if (c == '\r') {
    c = next_char();
    if (c == '\n') return;
  }
  put_back_char(c);
}

// The byte an item stores for `c`, with the marks it sets. After a "&" the letters and the
// point are digits or stops of a radix number, so they mark nothing.
unsigned char stored_byte(int c, bool text_mode, bool& radix_mark, bool& float_mark) {
  switch (c) {
    case '&':
      radix_mark = true;
      break;
    case 'D':
    case 'd':
      if (!text_mode && !radix_mark) {
        float_mark = true;
        return c == 'D' ? 'E' : 'e';
      }
      [[fallthrough]];
    case '.':
    case 'E':
    case 'e':
      if (!radix_mark) float_mark = true;
      break;
    default:
      break;
  }
  return static_cast<unsigned char>(c);
}

// Whether an item ends at `c` without storing it (the caller then finishes the item with it).
bool ends_item(int c, bool in_quotes, bool text_mode) {
  if (c == '\n' || c == '\r') return true;
  if (in_quotes) return false;
  return c == ',' || (!text_mode && is_blank(c));
}

// The value of unsigned number text (the sign already taken) into `value`; false when no number
// begins the text.
bool unsigned_decimal(const char* p, const char* end, double& value) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  if (starts_with_word(p, end, "inf")) {
    value = kInfinity;
    return true;
  }
  if (starts_with_word(p, end, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  bool hex = false;
  if (end - p >= 2 && p[0] == '0' && lower(p[1]) == 'x') {
    // "0x" with no hexadecimal significand after it is the number 0 followed by the stop.
    value = 0;
    p += 2;
    if (p == end || (digit_value(*p) >= 16 && *p != '.')) return true;
    hex = true;
  }
  const TextToDoubleResult result =
      hex ? hex_text_to_double(p, end, value) : decimal_text_to_double(p, end, value);
  if (result.end == Conversion::kTooLarge || result.end == Conversion::kTooSmall) {
    value = result.end == Conversion::kTooLarge ? kInfinity : 0.0;
    return true;
  }
  // After "0x" a point without digits ("0x.") leaves the 0 already stored.
  return result.end == Conversion::kStored || hex;
}

std::uint64_t decimal_integer(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p != end && is_white_space(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  std::uint64_t value = 0;
  for (; p != end && is_digit(*p); ++p) value = value * 10 + digit_value(*p);
  return negative ? 0 - value : value;
}

// `text` is what follows the "&": a radix letter (or none, octal) and the digits.
std::uint64_t radix_integer(std::string_view text) {
  unsigned radix = 8;
  switch (text.front()) {
    case 'H':
    case 'h':
      radix = 16;
      break;
    case 'B':
    case 'b':
      radix = 2;
      break;
    default:
      break;
  }
  if (radix != 8 || text.front() == 'O' || text.front() == 'o') text.remove_prefix(1);
  std::uint64_t value = 0;
  for (char c : text) {
    const unsigned digit = digit_value(c);
    if (digit >= radix) break;
    value = value * radix + digit;
  }
  return value;
}

}  // namespace

int next_char() {
  InputLine& line = input_line();
  if (line.source == LineSource::kText) {
    if (line.position < 0 || static_cast<std::size_t>(line.position) >= line.text.size()) {
      return kEndMarker;
    }
    return static_cast<unsigned char>(line.text[line.position++]);
  }
  if (line.put_back_count > 0) return line.put_back[--line.put_back_count];
  const int byte = stdin_next_byte();
  return byte < 0 ? kEndMarker : byte;
}

void put_back_char(int c) {
  if (c == kEndMarker) return;
  InputLine& line = input_line();
  if (line.source == LineSource::kText) {
    if (line.position > 0) --line.position;
    return;
  }
  // An item puts back at most one byte before the next item takes it, so the store never
  // fills; a fifth byte would be dropped.
  if (line.put_back_count < static_cast<int>(sizeof line.put_back)) {
    line.put_back[line.put_back_count++] = static_cast<unsigned char>(c);
  }
}

ItemResult next_item(unsigned char* buffer, int limit, ItemMode mode) {
  const bool text_mode = mode == ItemMode::kText;
  ItemResult result;
  int c = next_char();
  while (is_blank(c)) c = next_char();
  if (c == kEndMarker) return result;
  bool in_quotes = false;
  bool radix_mark = false;
  while (!ends_item(c, in_quotes, text_mode)) {
    if (c == '"' && in_quotes) {
      if (text_mode) {
        c = next_char();
        break;
      }
      in_quotes = false;
    } else if (c == '"' && result.count == 0) {
      in_quotes = true;
    } else {
      buffer[result.count++] = stored_byte(c, text_mode, radix_mark, result.float_mark);
    }
    c = next_char();
    if (result.count >= limit || c == kEndMarker) break;
  }
  finish_item(c);
  return result;
}

bool typed_decimal_comma() {
  const std::string_view text = input_line().text;
  std::size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < text.size() && is_blank(text[i])) ++i;
  };
  skip_blanks();
  if (i < text.size() && text[i] == '"') {
    ++i;
    skip_blanks();
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  // Points too: one that groups thousands ("1.500,25") leaves the comma the decimal one. An
  // exponent ends the number, so a comma after it ("1e3,5") only separates.
  while (i < text.size() && (is_digit(text[i]) || text[i] == '.')) ++i;
  return i + 1 < text.size() && text[i] == ',' && is_digit(text[i + 1]);
}

void input_single(float& target) {
  unsigned char buffer[kNumberItemLimit];
  const ItemResult item = next_item(buffer, kNumberItemLimit, ItemMode::kNumber);
  target = number_item_value(
      std::string_view(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(item.count)),
      item.float_mark);
}

void input_text(std::string& target) {
  unsigned char buffer[kTextItemLimit];
  const ItemResult item = next_item(buffer, kTextItemLimit, ItemMode::kText);
  int length = 0;
  while (length < item.count && buffer[length] != 0) ++length;
  target.assign(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

float number_item_value(std::string_view item, bool float_mark) {
  if (float_mark) return static_cast<float>(decimal_to_double(item));
  if (item.size() <= 9) return static_cast<float>(integer_conversion(item, 32));
  if (item.size() <= 18 || item.front() == '&') {
    return static_cast<float>(integer_conversion(item, 64));
  }
  return static_cast<float>(decimal_to_double(item));
}

double decimal_to_double(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p != end && is_white_space(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  double magnitude = 0;
  if (!unsigned_decimal(p, end, magnitude)) return 0;
  return negative ? -magnitude : magnitude;
}

std::int64_t integer_conversion(std::string_view item, int bits) {
  const std::size_t start = item.find_first_not_of(' ');
  if (start == std::string_view::npos) return 0;
  item.remove_prefix(start);
  const std::uint64_t value = (item.size() == 1 || item.front() != '&')
                                  ? decimal_integer(item)
                                  : radix_integer(item.substr(1));
  if (bits == 32) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return static_cast<std::int64_t>(value);
}

}  // namespace zepa
