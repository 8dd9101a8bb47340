#include "console/key_translate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

namespace zepa {
namespace {

// A US layout as MapVirtualKeyA gives it: letters upper case, digits, keypad digits, the rest
// nothing (0) unless a test says otherwise.
unsigned g_extra_char = 0;
unsigned us_key_char(unsigned v) {
  if ((v >= '0' && v <= '9') || (v >= 'A' && v <= 'Z')) return v;
  if (v >= 0x60 && v <= 0x69) return '0' + (v - 0x60);
  return g_extra_char;
}

constexpr std::uint32_t kStates[4] = {0, kShift, kLeftCtrl, kLeftAlt};

// Rows of the key table at the ends of each group of keys: the extended key numbers of the
// columns plain, Shift, Ctrl and Alt; 0 is no extended entry.
TEST(TranslateKey, RowsOfTheKeyTable) {
  const struct {
    unsigned scan;
    int columns[4];
  } rows[] = {
      {0x00, {0, 0, 0, 0}},              // no key
      {0x01, {0, 0, 0, 0x01}},           // Esc
      {0x02, {0, 0, 0, 0x78}},           // 1, the digit row's first
      {0x03, {0, 0, 0x03, 0x79}},        // 2, the one Ctrl entry of the digit row
      {0x0D, {0, 0, 0, 0x83}},           // =, the digit row's last
      {0x0E, {0, 0, 0, 0xE0}},           // Backspace
      {0x0F, {0, 0x0F, 0x94, 0x0F}},     // Tab
      {0x10, {0, 0, 0, 0x10}},           // q, the first letter row's first
      {0x1B, {0, 0, 0, 0x1B}},           // ], and its last
      {0x1C, {0, 0, 0, 0x1C}},           // Enter
      {0x1D, {0, 0, 0, 0}},              // Ctrl
      {0x1E, {0, 0, 0, 0x1E}},           // a
      {0x29, {0, 0, 0, 0x29}},           // `
      {0x2B, {0, 0, 0, 0}},              // backslash
      {0x2C, {0, 0, 0, 0x2C}},           // z
      {0x35, {0, 0, 0, 0x35}},           // /
      {0x39, {0, 0, 0, 0}},              // space
      {0x3B, {0x3B, 0x54, 0x5E, 0x68}},  // F1
      {0x44, {0x44, 0x5D, 0x67, 0x71}},  // F10
      {0x45, {0, 0, 0, 0}},              // Num Lock
      {0x47, {0x47, 0, 0x77, 0}},        // keypad 7, Home with Num Lock off
      {0x4A, {0, 0, 0, 0}},              // keypad -
      {0x4C, {0x4C, 0, 0x8F, 0x4C}},     // keypad 5, the one keypad key with an Alt entry
      {0x53, {0x53, 0, 0x93, 0}},        // keypad point, Delete with Num Lock off
      {0x56, {0, 0, 0, 0}},              // the 102nd key
      {0x57, {0x85, 0x87, 0x89, 0x8B}},  // F11
      {0x58, {0x86, 0x88, 0x8A, 0x8C}},  // F12, the table's last row
  };
  g_extra_char = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scan);
    const unsigned s = row.scan;
    const int* x = row.columns;
    // Plain, no character (Num Lock off, grey keys reported without the enhanced bit).
    EXPECT_EQ(translate_key(0, s, 0xFF, 0, us_key_char), x[0] ? extended_key(x[0]) : kNoKey);
    // Plain with a character: always the character (keypad digits with Num Lock on).
    EXPECT_EQ(translate_key('7', s, '7', 0, us_key_char), '7');
    // Modified columns with the key's own character: the extended entry, else the character.
    for (int c = 1; c < 4; ++c) {
      EXPECT_EQ(translate_key('Q', s, 'Q', kStates[c], us_key_char),
                x[c] ? extended_key(x[c]) : 'Q')
          << "column " << c;
    }
  }
}

TEST(TranslateKey, EveryRowOfTheEnhancedTable) {
  struct Row {
    unsigned s;
    KeyCode plain, shift, ctrl, alt;
  };
  const Row rows[] = {
      {0x1C, 13, 13, 10, extended_key(0xA6)},  // keypad Enter: characters, Alt extended
      {0x35, 47, 63, extended_key(0x95), extended_key(0xA4)},  // keypad slash
      {0x47, kKeyHome, kKeyHome, extended_key(0x77), extended_key(0x97)},
      {0x48, kKeyUp, kKeyUp, extended_key(0x8D), extended_key(0x98)},
      {0x49, kKeyPageUp, kKeyPageUp, extended_key(0x84), extended_key(0x99)},
      {0x4B, kKeyLeft, kKeyLeft, extended_key(0x73), extended_key(0x9B)},
      {0x4D, kKeyRight, kKeyRight, extended_key(0x74), extended_key(0x9D)},
      {0x4F, kKeyEnd, kKeyEnd, extended_key(0x75), extended_key(0x9F)},
      {0x50, kKeyDown, kKeyDown, extended_key(0x91), extended_key(0xA0)},
      {0x51, kKeyPageDown, kKeyPageDown, extended_key(0x76), extended_key(0xA1)},
      {0x52, kKeyInsert, kKeyInsert, extended_key(0x92), extended_key(0xA2)},
      {0x53, kKeyDelete, kKeyDelete, extended_key(0x93), extended_key(0xA3)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.s);
    const KeyCode expected[4] = {r.plain, r.shift, r.ctrl, r.alt};
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(translate_key(0, r.s, 0xFF, kEnhancedKey | kStates[c], us_key_char), expected[c]);
    }
  }
}

TEST(TranslateKey, SingleEvents) {
  const struct {
    unsigned char a;
    unsigned s, v;
    std::uint32_t state;
    KeyCode expected;
  } cases[] = {
      // F1 has a different extended number in each column: plain, Shift, either Ctrl, Ctrl
      // before Shift, either Alt, Alt before all; the lock bits do not count.
      {0, 0x3B, 0x70, 0, extended_key(0x3B)},
      {0, 0x3B, 0x70, kShift, extended_key(0x54)},
      {0, 0x3B, 0x70, kRightCtrl, extended_key(0x5E)},
      {0, 0x3B, 0x70, kLeftCtrl | kShift, extended_key(0x5E)},
      {0, 0x3B, 0x70, kRightAlt, extended_key(0x68)},
      {0, 0x3B, 0x70, kLeftAlt | kLeftCtrl | kShift, extended_key(0x68)},
      {0, 0x3B, 0x70, kShift | 0x20 | 0x40 | 0x80, extended_key(0x54)},
      // Alt+A in either case: the extended code of the scan code.
      {'a', 0x1E, 'A', kLeftAlt, extended_key(0x1E)},
      {'A', 0x1E, 'A', kLeftAlt | kShift, extended_key(0x1E)},
      // A character that is not the key's own (AltGr+q on a layout that gives '@', with or
      // without the enhanced bit) stays.
      {'@', 0x10, 'Q', kRightAlt | kLeftCtrl, '@'},
      {'@', 0x10, 'Q', kEnhancedKey | kRightAlt | kLeftCtrl, '@'},
      {0, 0x1E, 'A', kLeftAlt, kNoKey},  // no character at all: nothing, despite the entry
      {'2', 0x03, '2', kLeftAlt, extended_key(0x79)},  // Alt+digit: the digit row's numbers
      // Alt+Shift+1 delivering '!', a shifted symbol and not the key's own: the character (on
      // a terminal, Alt with '!' gives nothing).
      {'!', 0x02, '1', kLeftAlt | kShift, '!'},
      // Control characters arrive as they are: Ctrl+H, Ctrl+M, Ctrl+[ and the Delete character.
      {8, 0x23, 'H', kLeftCtrl, 8},
      {13, 0x32, 'M', kLeftCtrl, 13},
      {27, 0x1A, 0xDB, kLeftCtrl, 27},
      {127, 0x0E, 0x08, kLeftCtrl, 127},
      {0, 0x03, '2', kLeftCtrl, kNoKey},  // Ctrl+2 gives no character: nothing, despite its entry
      // Scan codes above 88 bypass the table: the character, or nothing; 88 is still in it.
      {'x', 89, 'X', kLeftAlt, 'x'},
      {0, 89, 0, 0, kNoKey},
      {0, 0x7F, 0, kLeftAlt, kNoKey},
      {0, 88, 0x7B, 0, kKeyF12},
      // Enhanced keys in no row (right Ctrl, right Alt, Num Lock), and keypad Enter's 13.
      {0, 0x1D, 0xFF, kEnhancedKey, kNoKey},
      {0, 0x38, 0xFF, kEnhancedKey, kNoKey},
      {0, 0x45, 0xFF, kEnhancedKey, kNoKey},
      {13, 0x1C, 0x0D, kEnhancedKey, 13},
  };
  g_extra_char = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(translate_key(c.a, c.s, c.v, c.state, us_key_char), c.expected)
        << c.s << " " << c.state;
  }
  // Case follows the character-type locale: in "C", 0xC7 is not the other case of 0xE7.
  const char* saved = std::setlocale(LC_CTYPE, nullptr);
  const std::string restore = saved ? saved : "C";
  std::setlocale(LC_CTYPE, "C");
  g_extra_char = 0xE7;
  EXPECT_EQ(translate_key(0xE7, 0x27, 0xBA, kLeftAlt, us_key_char), extended_key(0x27));
  EXPECT_EQ(translate_key(0xC7, 0x27, 0xBA, kLeftAlt, us_key_char), 0xC7);
  g_extra_char = 0;
  std::setlocale(LC_CTYPE, restore.c_str());
}

KeyEvent down(unsigned v, unsigned s, char16_t a, std::uint32_t state) {
  return KeyEvent{true, 1, v, s, a, state};
}
KeyEvent up(unsigned v, unsigned s, std::uint32_t state) {
  return KeyEvent{false, 1, v, s, 0, state};
}

constexpr unsigned kVkAlt = 0x12, kScanAlt = 0x38;
const unsigned kPadScan[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};

// Alt held while `digits` are typed on the keypad, Alt released, as the console reports them;
// every code the events yield.
std::vector<KeyCode> alt_number(KeyEventTranslator& t, const char* digits) {
  std::vector<KeyCode> codes;
  auto feed = [&](const KeyEvent& e) {
    const KeyCode c = t.handle(e);
    if (c != kNoKey) codes.push_back(c);
  };
  feed(down(kVkAlt, kScanAlt, 0, kLeftAlt));
  for (const char* d = digits; *d; ++d) {
    const unsigned n = *d - '0';
    feed(down(0x60 + n, kPadScan[n], 0, kLeftAlt));
    feed(up(0x60 + n, kPadScan[n], kLeftAlt));
  }
  feed(up(kVkAlt, kScanAlt, 0));
  return codes;
}

TEST(KeyEventTranslator, AltNumberComposition) {
  g_extra_char = 0;
  KeyEventTranslator t(us_key_char);
  EXPECT_EQ(alt_number(t, "225"), std::vector<KeyCode>{225});  // at the release of Alt
  EXPECT_EQ(alt_number(t, "0"), std::vector<KeyCode>{});       // 0 delivers nothing
  EXPECT_EQ(alt_number(t, "256"), std::vector<KeyCode>{0});    // mod 256
  EXPECT_EQ(alt_number(t, "0065"), std::vector<KeyCode>{65});  // leading zeros
  EXPECT_EQ(t.accumulator(), 0u);

  // A key that yields a code in between resets: Alt 2, Alt+A, Alt 5 gives Alt+A, then 5.
  std::vector<KeyCode> codes;
  for (const KeyEvent& e :
       {down(kVkAlt, kScanAlt, 0, kLeftAlt), down(0x62, 0x50, 0, kLeftAlt),
        down('A', 0x1E, 'a', kLeftAlt), down(0x65, 0x4C, 0, kLeftAlt), up(kVkAlt, kScanAlt, 0)}) {
    const KeyCode c = t.handle(e);
    if (c != kNoKey) codes.push_back(c);
  }
  EXPECT_EQ(codes, (std::vector<KeyCode>{extended_key(0x1E), 5}));

  // A key without Alt alone that yields nothing delivers: Alt 6 5, then Shift pressed.
  EXPECT_EQ(t.handle(down(kVkAlt, kScanAlt, 0, kLeftAlt)), kNoKey);
  EXPECT_EQ(t.handle(down(0x66, 0x4D, 0, kLeftAlt)), kNoKey);
  EXPECT_EQ(t.handle(down(0x65, 0x4C, 0, kLeftAlt)), kNoKey);
  EXPECT_EQ(t.handle(down(0x10, 0x2A, 0, kLeftAlt | kShift)), 65);
  EXPECT_EQ(t.handle(up(kVkAlt, kScanAlt, 0)), kNoKey);
}

TEST(KeyEventTranslator, CharactersArriveInUtf16AndBecomeWindows1252) {
  constexpr unsigned kVkCedilla = 0xBA, kScanCedilla = 0x27;  // ç's own key on a Brazilian layout
  constexpr std::uint32_t kAltGr = kRightAlt | kLeftCtrl;
  const auto alt_up = [](char16_t ch) { return KeyEvent{false, 1, kVkAlt, kScanAlt, ch, 0}; };
  const auto pad = [](int n) { return down(0x60 + n, kPadScan[n], 0, kLeftAlt); };
  const auto alt = down(kVkAlt, kScanAlt, 0, kLeftAlt);
  struct Case {
    const char* what;
    std::vector<KeyEvent> events;
    std::vector<KeyCode> codes;
  };
  const Case cases[] = {
      {"c cedilla, whatever the console's code page",
       {down(kVkCedilla, kScanCedilla, u'\u00E7', 0)},
       {0xE7}},
      {"the euro sign with AltGr", {down('E', 0x12, u'\u20AC', kAltGr)}, {0x80}},
      {"an emoji, a pair of surrogates: one refusal",
       {down(0, 0, 0xD83D, 0), down(0, 0, 0xDE00, 0)},
       {kKeyNoByte}},
      {"a CJK ideogram is refused", {down(0, 0, u'\u4E2D', 0)}, {kKeyNoByte}},
      {"a C1 control is no character", {down(0, 0, u'\u0085', 0)}, {}},
      {"Alt with the key's own c cedilla: its extended code, not the letter",
       {down(kVkCedilla, kScanCedilla, u'\u00E7', kLeftAlt)},
       {extended_key(0x27)}},
      {"Alt with a character the code page lacks: nothing",
       {down('A', 0x1E, u'\u0444', kLeftAlt)},
       {}},
      // Alt+0231 and Alt+135 compose c cedilla by the ANSI and the OEM code page: the console's
      // character, carried by the release of Alt, not the digits' number.
      {"Alt+0231", {alt, pad(0), pad(2), pad(3), pad(1), alt_up(u'\u00E7')}, {0xE7}},
      {"Alt+135", {alt, pad(1), pad(3), pad(5), alt_up(u'\u00E7')}, {0xE7}},
      {"Alt+225 on a console that carries no character: the number",
       {alt, pad(2), pad(2), pad(5), alt_up(0)},
       {225}},
      // ConPTY types a character that its keyboard layout lacks as Alt and the keypad digits of
      // the code page's stand-in ('?', 63), each surrogate on its own.
      {"a pasted emoji in ConPTY",
       {alt, pad(6), pad(3), alt_up(0xD83D), alt, pad(6), pad(3), alt_up(0xDE00)},
       {kKeyNoByte}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_extra_char = 0xE7;  // the layout's own character of every other key
    KeyEventTranslator t(us_key_char);
    std::vector<KeyCode> codes;
    for (const KeyEvent& e : c.events) {
      const KeyCode code = t.handle(e);
      if (code != kNoKey) codes.push_back(code);
    }
    EXPECT_EQ(codes, c.codes);
  }
  g_extra_char = 0;
}

TEST(KeyEventTranslator, RepeatCounts) {
  KeyEventTranslator t(us_key_char);
  KeyEvent e = down('X', 0x2D, 'x', 0);
  e.repeat_count = 0;  // dropped
  EXPECT_EQ(t.handle(e), kNoKey);
  e.repeat_count = 3;  // one code for any repeat
  EXPECT_EQ(t.handle(e), 'x');
  // Key-ups yield nothing of their own.
  EXPECT_EQ(t.handle(up('X', 0x2D, 0)), kNoKey);
}

}  // namespace
}  // namespace zepa
