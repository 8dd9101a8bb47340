#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zepa {
namespace {

constexpr KeyCode ext(int number) {
  return extended_key(number);
}

// Feeds each piece as one read of the terminal; an empty piece stands for the wait running out.
std::vector<KeyCode> decode(const std::vector<std::string>& reads, bool utf8 = true,
                            unsigned char erase = 127) {
  KeyDecoder decoder(erase, utf8);
  std::vector<KeyCode> out;
  for (const std::string& piece : reads) {
    if (piece.empty()) {
      const KeyCode code = decoder.timeout();
      if (code != kNoKey) out.push_back(code);
    } else {
      decoder.feed(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(), out);
    }
  }
  return out;
}

// Each sequence whole, followed by an "x" that shows that no byte of it leaked into the line,
// and cut anywhere between two reads: pending at the cut, the same code after it.
TEST(KeyDecoderTest, SequencesAreConsumedWholeAndMaySplitAnywhere) {
  const struct {
    const char* bytes;
    KeyCode code;  // kNoKey: consumed and dropped
  } cases[] = {
      // clang-format off
      // xterm, normal cursor mode, and application cursor mode
      {"\x1b[A", kKeyUp}, {"\x1b[B", kKeyDown}, {"\x1b[C", kKeyRight}, {"\x1b[D", kKeyLeft},
      {"\x1b[H", kKeyHome}, {"\x1b[F", kKeyEnd}, {"\x1b[3~", kKeyDelete},
      {"\x1bOA", kKeyUp}, {"\x1bOB", kKeyDown}, {"\x1bOC", kKeyRight}, {"\x1bOD", kKeyLeft},
      {"\x1bOH", kKeyHome}, {"\x1bOF", kKeyEnd},
      // VT220 / Linux console / tmux and rxvt forms of Home and End
      {"\x1b[1~", kKeyHome}, {"\x1b[4~", kKeyEnd}, {"\x1b[7~", kKeyHome}, {"\x1b[8~", kKeyEnd},
      // Shift keeps the plain codes
      {"\x1b[1;2A", kKeyUp}, {"\x1b[1;2H", kKeyHome}, {"\x1b[3;2~", kKeyDelete},
      {"\x1b[a", kKeyUp}, {"\x1b[7$", kKeyHome},
      // Ctrl and Alt give the console's other codes, which the editor ignores
      {"\x1b[1;5D", ext(0x73)}, {"\x1b[3;5~", ext(0x93)}, {"\x1b[1;5H", ext(0x77)},
      {"\x1bOd", ext(0x73)}, {"\x1b[7^", ext(0x77)}, {"\x1bO5D", ext(0x73)},
      {"\x1b[1;3C", ext(0x9D)}, {"\x1b[1;7A", ext(0x98)}, {"\x1b\x1b[A", ext(0x98)},
      // Insert, Page Up/Down, function keys
      {"\x1b[2~", kKeyInsert}, {"\x1b[5~", kKeyPageUp}, {"\x1b[6~", kKeyPageDown},
      {"\x1bOP", kKeyF1}, {"\x1b[11~", kKeyF1}, {"\x1b[[A", kKeyF1}, {"\x1b[[E", ext(0x3F)},
      {"\x1b[15~", ext(0x3F)}, {"\x1b[17~", ext(0x40)}, {"\x1b[21~", ext(0x44)},
      {"\x1b[23~", kKeyF11}, {"\x1b[24~", kKeyF12}, {"\x1b[1;2P", ext(0x54)},
      {"\x1b[24;5~", ext(0x8A)}, {"\x1b[Z", ext(0x0F)}, {"\x1b[E", ext(0x4C)},
      // keypad in application mode
      {"\x1bOp", '0'}, {"\x1bOy", '9'}, {"\x1bOn", '.'}, {"\x1bOM", kKeyEnter}, {"\x1bOk", '+'},
      // reports, paste brackets, focus, mouse and unknown keys: dropped whole
      {"\x1b[200~", kNoKey}, {"\x1b[201~", kNoKey}, {"\x1b[I", kNoKey},
      {"\x1b[<0;10;5M", kNoKey}, {"\x1b[?1;2c", kNoKey}, {"\x1bOz", kNoKey},
      {"\x1b[99~", kNoKey}, {"\x1b[1 q", kNoKey}, {"\x1b[[Z", kNoKey},
      {"\x1b[1111111111111111111111~", kNoKey},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes + 1);
    std::vector<KeyCode> expected;
    if (c.code != kNoKey) expected.push_back(c.code);
    const std::string bytes = c.bytes;
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
      KeyDecoder decoder(127, true);
      std::vector<KeyCode> out;
      decoder.feed(reinterpret_cast<const unsigned char*>(bytes.data()), cut, out);
      EXPECT_TRUE(decoder.pending()) << "cut at " << cut;
      decoder.feed(reinterpret_cast<const unsigned char*>(bytes.data()) + cut, bytes.size() - cut,
                   out);
      EXPECT_EQ(out, expected) << "cut at " << cut;
      EXPECT_FALSE(decoder.pending());
    }
    expected.push_back('x');
    EXPECT_EQ(decode({bytes + "x"}), expected);
  }
}

// Each piece is one read of the terminal; an empty piece stands for the wait running out.
TEST(KeyDecoderTest, BytesToCodes) {
  const std::string begin = "\x1b[200~";  // a bracketed paste
  const std::string end = "\x1b[201~";
  const struct {
    std::vector<std::string> reads;
    std::vector<KeyCode> codes;
    bool utf8 = true;
    unsigned char erase = 127;
  } cases[] = {
      // clang-format off
      {{"a~ 9"}, {'a', '~', ' ', '9'}},
      // Ctrl+J, Enter, Tab; both Backspace bytes erase; other controls pass for the editor to
      // ignore
      {{"\n\r\t\x7f\x08\x01"}, {10, 13, 9, 8, 8, 1}},
      {{"\x15u"}, {8, 'u'}, true, 0x15},  // a terminal whose erase character is Ctrl+U
      {{"#"}, {'#'}, true, '#'},          // an erase character that is printable is not taken
      // a single-byte locale: bytes 128-255 are characters as they come
      {{"\xc3\xa3\x80"}, {0xC3, 0xA3, 0x80}, false},
      // Esc alone, then a letter typed later
      {{"\x1b", "", "a"}, {kKeyEsc, 'a'}},
      // a sequence cut short by the timeout is dropped; what follows is read afresh
      {{"\x1b[", "", "A"}, {'A'}}, {{"\x1bO", "", "1"}, {'1'}},
      // Esc Esc is Alt+Esc; a third Esc waits on its own
      {{"\x1b\x1b", ""}, {ext(0x01)}}, {{"\x1b\x1b\x1b", ""}, {ext(0x01), kKeyEsc}},
      // a new Esc or a control byte breaks off a sequence
      {{"\x1b[1;5\x1b[A"}, {kKeyUp}}, {{"\x1b[1\r"}, {13}},
      // Alt+letter in either case gives the letter key's code, not the letter; Alt with the
      // digit row, Enter, Backspace, Tab
      {{"\x1b" "a", "\x1bQ"}, {ext(0x1E), ext(0x10)}},
      {{"\x1b" "1\x1b\r\x1b\x7f\x1b\t"}, {ext(0x78), ext(0x1C), ext(0xE0), ext(0x0F)}},
      // Alt with a character that is no key's own, or with another control, gives nothing at
      // all; the same characters typed without Esc are characters
      {{"1\x1b!\x1b$\x1b(\x1b+\x1b_\x1b\"\x1b\xc3\xa7\x1b\xe2\x82\xac"
        "\x1b\xf0\x9f\x98\x80\x1b\x01" "2"},
       {'1', '2'}},
      {{"!\xc3\xa7\xe2\x82\xac"}, {'!', 0xE7, 0x80}},
      // Line ends: pasted CR LF lines give one Enter each, also with CR and LF in separate
      // reads of one burst; Enter, then Ctrl+J after a pause
      {{"3\r\n1\r\n"}, {'3', 13, '1', 13}}, {{"3\r", "\n1"}, {'3', 13, '1'}},
      {{"3\r", "", "\n"}, {'3', 13, 10}},
      // LF alone is Ctrl+Enter each time; CR CR LF is two line ends; LF CR is no pair; only an
      // LF right after the CR pairs; the keypad's Enter sequence is no CR
      {{"\n\n"}, {10, 10}}, {{"\r\r\n"}, {13, 13}}, {{"\n\r"}, {10, 13}},
      {{"\r\x1b[A\n"}, {13, kKeyUp, 10}}, {{"\x1bOM\n"}, {13, 10}},
      // Bracketed paste: CR LF, CR and LF are each one Enter
      {{begin + "3\r\n1\r\n" + end}, {'3', 13, '1', 13}},
      {{begin + "3\n1\n" + end}, {'3', 13, '1', 13}},
      {{begin + "3\r1\r" + end}, {'3', 13, '1', 13}},
      // key sequences, Esc, Backspace and other controls inside are no keys; Tab stays
      {{begin + "1\x1b[D\x1b\x7f\x08\x01\t2\x1bOA" + end}, {'1', 9, '2'}},
      // Esc with a character is the character; a broken-off Esc gives nothing when time runs out
      {{begin + "\x1b" "a" + end}, {'a'}},
      {{begin + "1\x1b", "", "\x1b[D" + end + "\x1b[D"}, {'1', kKeyLeft}},
      // UTF-8 text, and a character the line cannot hold
      {{begin + "\xc3\xa3\xf0\x9f\x98\x80" + end}, {0xE3, kKeyNoByte}},
      // after the end, keys are keys again; the end mark split from the text, and a paste
      // that starts in one read and ends later
      {{begin + "1" + end + "\x1b[D\x7f"}, {'1', kKeyLeft, 8}}, {{begin + "12\x1b[20"}, {'1', '2'}},
      {{begin + "1\x1b[2", "01~\x1b[D"}, {'1', kKeyLeft}},
      // UTF-8: a, euro sign, left double quote are Windows-1252 bytes, also split across reads
      {{"\xc3\xa3\xe2\x82\xac\xe2\x80\x9c"}, {0xE3, 0x80, 0x93}},
      {{"\xe2", "\x82", "\xac"}, {0x80}},
      // characters Windows-1252 lacks (CJK, emoji, the no-break hyphen U+2011) give the code
      // the editor beeps at; the C1 control U+0085 is no typed character and gives nothing
      {{"\xe4\xb8\xad" "1\xf0\x9f\x98\x80" "2\xc2\x85" "3\xe2\x80\x91"},
       {kKeyNoByte, '1', kKeyNoByte, '2', '3', kKeyNoByte}},
      // a stray continuation byte; broken off by an ASCII byte, which is kept, or by a sequence
      {{"\xa3x"}, {'x'}}, {{"\xc3x"}, {'x'}}, {{"\xc3\x1b[A"}, {kKeyUp}},
      // overlong forms, a surrogate, beyond U+10FFFF, a five-byte form, bytes that never occur
      {{"\xc0\xafx"}, {'x'}}, {{"\xe0\x80\xafx"}, {'x'}}, {{"\xed\xa0\x80x"}, {'x'}},
      {{"\xf4\x90\x80\x80x"}, {'x'}}, {{"\xf8\x88\x80\x80\x80x"}, {'x'}},
      {{"\xfex\xffy"}, {'x', 'y'}},
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.reads, c.utf8, c.erase), c.codes) << c.reads[0];
}

// An Esc, a CR (which may begin a pasted CR LF) and an unfinished UTF-8 character keep the
// decoder waiting, so that the caller times their end; the timeout gives the Esc alone, and
// nothing for the others.
TEST(KeyDecoderTest, WhatWaitsForTheTimeout) {
  const struct {
    const char* bytes;
    std::vector<KeyCode> codes;  // before the timeout
    KeyCode at_timeout;
  } cases[] = {{"\x1b", {}, kKeyEsc}, {"\r", {13}, kNoKey}, {"\xc3", {}, kNoKey}};
  for (const auto& c : cases) {
    KeyDecoder decoder(127, true);
    std::vector<KeyCode> out;
    decoder.feed(reinterpret_cast<const unsigned char*>(c.bytes), 1, out);
    EXPECT_EQ(out, c.codes);
    EXPECT_TRUE(decoder.pending());
    EXPECT_EQ(decoder.timeout(), c.at_timeout);
    EXPECT_FALSE(decoder.pending());
    EXPECT_EQ(decoder.timeout(), kNoKey);  // nothing left
  }
}

}  // namespace
}  // namespace zepa
