#include "platform/cp1252.h"

namespace zepa {

namespace {

// 0x80..0x9F; 0 marks the five positions the code page leaves undefined.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

constexpr char32_t kControlPictures = 0x2400;  // U+2400..U+241F show bytes 0..31
constexpr char32_t kDeletePicture = 0x2421;
constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

char32_t cp1252_cell_char(unsigned char byte) {
  if (byte < 0x20) return kControlPictures + byte;
  if (byte == 0x7F) return kDeletePicture;
  if (byte >= 0x80 && byte < 0xA0) {
    const char16_t ch = kHighControls[byte - 0x80];
    return ch != 0 ? ch : kReplacement;
  }
  return byte;
}

int cp1252_from_unicode(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == ch) return 0x80 + i;
  }
  return -1;
}

std::size_t encode_utf8(char32_t ch, char* out) {
  if (ch < 0x80) {
    out[0] = static_cast<char>(ch);
    return 1;
  }
  if (ch < 0x800) {
    out[0] = static_cast<char>(0xC0 | (ch >> 6));
    out[1] = static_cast<char>(0x80 | (ch & 0x3F));
    return 2;
  }
  if (ch < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (ch >> 12));
    out[1] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (ch & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (ch >> 18));
  out[1] = static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (ch & 0x3F));
  return 4;
}

}  // namespace zepa
