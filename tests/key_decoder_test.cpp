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

struct SequenceCase {
  const char* bytes;
  KeyCode code;  // kNoKey: consumed and dropped
};

const SequenceCase kSequences[] = {
    // xterm, normal cursor mode
    {"\x1b[A", kKeyUp},
    {"\x1b[B", kKeyDown},
    {"\x1b[C", kKeyRight},
    {"\x1b[D", kKeyLeft},
    {"\x1b[H", kKeyHome},
    {"\x1b[F", kKeyEnd},
    {"\x1b[3~", kKeyDelete},
    // application cursor mode
    {"\x1bOA", kKeyUp},
    {"\x1bOB", kKeyDown},
    {"\x1bOC", kKeyRight},
    {"\x1bOD", kKeyLeft},
    {"\x1bOH", kKeyHome},
    {"\x1bOF", kKeyEnd},
    // VT220 / Linux console / tmux and rxvt forms of Home and End
    {"\x1b[1~", kKeyHome},
    {"\x1b[4~", kKeyEnd},
    {"\x1b[7~", kKeyHome},
    {"\x1b[8~", kKeyEnd},
    // Shift keeps the plain codes
    {"\x1b[1;2A", kKeyUp},
    {"\x1b[1;2H", kKeyHome},
    {"\x1b[3;2~", kKeyDelete},
    {"\x1b[a", kKeyUp},
    {"\x1b[7$", kKeyHome},
    // Ctrl and Alt give the console's other codes, which the editor ignores
    {"\x1b[1;5D", ext(0x73)},
    {"\x1b[3;5~", ext(0x93)},
    {"\x1b[1;5H", ext(0x77)},
    {"\x1bOd", ext(0x73)},
    {"\x1b[7^", ext(0x77)},
    {"\x1bO5D", ext(0x73)},
    {"\x1b[1;3C", ext(0x9D)},
    {"\x1b[1;7A", ext(0x98)},
    {"\x1b\x1b[A", ext(0x98)},
    // Insert, Page Up/Down, function keys
    {"\x1b[2~", kKeyInsert},
    {"\x1b[5~", kKeyPageUp},
    {"\x1b[6~", kKeyPageDown},
    {"\x1bOP", kKeyF1},
    {"\x1b[11~", kKeyF1},
    {"\x1b[[A", kKeyF1},
    {"\x1b[[E", ext(0x3F)},
    {"\x1b[15~", ext(0x3F)},
    {"\x1b[17~", ext(0x40)},
    {"\x1b[21~", ext(0x44)},
    {"\x1b[23~", kKeyF11},
    {"\x1b[24~", kKeyF12},
    {"\x1b[1;2P", ext(0x54)},
    {"\x1b[24;5~", ext(0x8A)},
    {"\x1b[Z", ext(0x0F)},
    {"\x1b[E", ext(0x4C)},
    // keypad in application mode
    {"\x1bOp", '0'},
    {"\x1bOy", '9'},
    {"\x1bOn", '.'},
    {"\x1bOM", kKeyEnter},
    {"\x1bOk", '+'},
    // reports, paste brackets, focus, mouse and unknown keys: dropped whole
    {"\x1b[200~", kNoKey},
    {"\x1b[201~", kNoKey},
    {"\x1b[I", kNoKey},
    {"\x1b[<0;10;5M", kNoKey},
    {"\x1b[?1;2c", kNoKey},
    {"\x1bOz", kNoKey},
    {"\x1b[99~", kNoKey},
    {"\x1b[1 q", kNoKey},
    {"\x1b[[Z", kNoKey},
    {"\x1b[1111111111111111111111~", kNoKey},
};

TEST(KeyDecoderTest, SequencesAreConsumedWhole) {
  for (const SequenceCase& c : kSequences) {
    // A following "x" shows that no byte of the sequence leaked into the line.
    std::vector<KeyCode> expected;
    if (c.code != kNoKey) expected.push_back(c.code);
    expected.push_back('x');
    EXPECT_EQ(decode({std::string(c.bytes) + "x"}), expected) << c.bytes + 1;
  }
}

TEST(KeyDecoderTest, SequencesSplitAnywhere) {
  for (const SequenceCase& c : kSequences) {
    const std::string bytes = c.bytes;
    const std::vector<KeyCode> whole = decode({bytes});
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
      KeyDecoder decoder(127, true);
      std::vector<KeyCode> out;
      decoder.feed(reinterpret_cast<const unsigned char*>(bytes.data()), cut, out);
      EXPECT_TRUE(decoder.pending()) << bytes.substr(1) << " cut at " << cut;
      decoder.feed(reinterpret_cast<const unsigned char*>(bytes.data()) + cut, bytes.size() - cut,
                   out);
      EXPECT_EQ(out, whole) << bytes.substr(1) << " cut at " << cut;
      EXPECT_FALSE(decoder.pending());
    }
  }
}

TEST(KeyDecoderTest, PlainBytes) {
  EXPECT_EQ(decode({"a~ 9"}), (std::vector<KeyCode>{'a', '~', ' ', '9'}));
  // Ctrl+J, Enter, Tab; both Backspace bytes erase; other controls pass for the editor to ignore
  EXPECT_EQ(decode({"\n\r\t\x7f\x08\x01"}), (std::vector<KeyCode>{10, 13, 9, 8, 8, 1}));
  // a terminal whose erase character is Ctrl+U
  EXPECT_EQ(decode({"\x15u"}, true, 0x15), (std::vector<KeyCode>{8, 'u'}));
  // an erase character that is printable is not taken
  EXPECT_EQ(decode({"#"}, true, '#'), (std::vector<KeyCode>{'#'}));
  // a single-byte locale: bytes 128-255 are characters as they come
  EXPECT_EQ(decode({"\xc3\xa3\x80"}, false), (std::vector<KeyCode>{0xC3, 0xA3, 0x80}));
}

TEST(KeyDecoderTest, EscapeWaitsForTheTimeout) {
  KeyDecoder decoder(127, true);
  std::vector<KeyCode> out;
  decoder.feed(reinterpret_cast<const unsigned char*>("\x1b"), 1, out);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(decoder.pending());
  EXPECT_EQ(decoder.timeout(), kKeyEsc);
  EXPECT_FALSE(decoder.pending());
  EXPECT_EQ(decoder.timeout(), kNoKey);  // nothing left

  // Esc alone, then a letter typed later
  EXPECT_EQ(decode({"\x1b", "", "a"}), (std::vector<KeyCode>{kKeyEsc, 'a'}));
  // a sequence cut short by the timeout is dropped; what follows is read afresh
  EXPECT_EQ(decode({"\x1b[", "", "A"}), (std::vector<KeyCode>{'A'}));
  EXPECT_EQ(decode({"\x1bO", "", "1"}), (std::vector<KeyCode>{'1'}));
  // Esc Esc is Alt+Esc; a third Esc waits on its own
  EXPECT_EQ(decode({"\x1b\x1b", ""}), (std::vector<KeyCode>{ext(0x01)}));
  EXPECT_EQ(decode({"\x1b\x1b\x1b", ""}), (std::vector<KeyCode>{ext(0x01), kKeyEsc}));
  // a new Esc or a control byte breaks off a sequence
  EXPECT_EQ(decode({"\x1b[1;5\x1b[A"}), (std::vector<KeyCode>{kKeyUp}));
  EXPECT_EQ(decode({"\x1b[1\r"}), (std::vector<KeyCode>{13}));
}

TEST(KeyDecoderTest, EscapeThenKeyIsAlt) {
  // Alt+letter in either case gives the letter key's code, not the letter
  EXPECT_EQ(decode({"\x1b"
                    "a",
                    "\x1bQ"}),
            (std::vector<KeyCode>{ext(0x1E), ext(0x10)}));
  // digit row, Enter, Backspace, Tab
  EXPECT_EQ(decode({"\x1b"
                    "1\x1b\r\x1b\x7f\x1b\t"}),
            (std::vector<KeyCode>{ext(0x78), ext(0x1C), ext(0xE0), ext(0x0F)}));
  // Alt with a character that is no key's own, or with another control, gives nothing at all
  const char* const nothing[] = {
      "!", "$", "(", "+", "_", "\"", "\xc3\xa7", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x01"};
  for (const char* bytes : nothing) {
    EXPECT_EQ(decode({std::string("1\x1b") + bytes + "2"}), (std::vector<KeyCode>{'1', '2'}))
        << bytes;
  }
  // the same characters typed without Esc are characters
  EXPECT_EQ(decode({"!\xc3\xa7\xe2\x82\xac"}), (std::vector<KeyCode>{'!', 0xE7, 0x80}));
}

TEST(KeyDecoderTest, LineEnds) {
  // Each piece is one read; an empty piece is the wait running out between them.
  struct {
    std::vector<std::string> reads;
    std::vector<KeyCode> codes;
  } const cases[] = {
      {{"3\r\n1\r\n"}, {'3', 13, '1', 13}},  // pasted CR LF lines: one Enter each
      {{"3\r", "\n1"}, {'3', 13, '1'}},      // CR and LF in separate reads of one burst
      {{"3\r", "", "\n"}, {'3', 13, 10}},    // Enter, then Ctrl+J after a pause
      {{"\n\n"}, {10, 10}},                  // LF alone is Ctrl+Enter, each time
      {{"\r\r\n"}, {13, 13}},                // CR CR LF: two line ends
      {{"\n\r"}, {10, 13}},                  // LF CR is no pair
      {{"\r\x1b[A\n"}, {13, kKeyUp, 10}},    // only an LF right after the CR pairs
      {{"\x1bOM\n"}, {13, 10}},              // the keypad's Enter sequence is no CR
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.reads), c.codes) << c.reads[0];
  // the CR keeps the decoder waiting, so that the caller times its end as a sequence's
  KeyDecoder decoder(127, true);
  std::vector<KeyCode> out;
  decoder.feed(reinterpret_cast<const unsigned char*>("\r"), 1, out);
  EXPECT_EQ(out, (std::vector<KeyCode>{13}));
  EXPECT_TRUE(decoder.pending());
  EXPECT_EQ(decoder.timeout(), kNoKey);
  EXPECT_FALSE(decoder.pending());
}

TEST(KeyDecoderTest, BracketedPaste) {
  const std::string begin = "\x1b[200~";
  const std::string end = "\x1b[201~";
  struct {
    std::string bytes;
    std::vector<KeyCode> codes;
  } const cases[] = {
      // CR LF, CR and LF are each one Enter
      {begin + "3\r\n1\r\n" + end, {'3', 13, '1', 13}},
      {begin + "3\n1\n" + end, {'3', 13, '1', 13}},
      {begin + "3\r1\r" + end, {'3', 13, '1', 13}},
      // key sequences, Esc, Backspace and other controls inside are no keys; Tab stays
      {begin + "1\x1b[D\x1b\x7f\x08\x01\t2\x1bOA" + end, {'1', 9, '2'}},
      // Esc with a character is the character; a broken-off Esc gives nothing when time runs out
      {begin + "\x1b" + "a" + end, {'a'}},
      // UTF-8 text, and a character the line cannot hold
      {begin + "\xc3\xa3\xf0\x9f\x98\x80" + end, {0xE3, kKeyNoByte}},
      // after the end, keys are keys again
      {begin + "1" + end + "\x1b[D\x7f", {'1', kKeyLeft, 8}},
      // the end mark split from the text, and a paste that starts in one read and ends later
      {begin + "12\x1b[20", {'1', '2'}},
  };
  for (const auto& c : cases) EXPECT_EQ(decode({c.bytes}), c.codes) << c.bytes;
  EXPECT_EQ(decode({begin + "1\x1b", "", "\x1b[D" + end + "\x1b[D"}),
            (std::vector<KeyCode>{'1', kKeyLeft}));
  EXPECT_EQ(decode({begin + "1\x1b[2", "01~\x1b[D"}), (std::vector<KeyCode>{'1', kKeyLeft}));
}

TEST(KeyDecoderTest, Utf8) {
  // a, euro sign, left double quote: Windows-1252 bytes
  EXPECT_EQ(decode({"\xc3\xa3\xe2\x82\xac\xe2\x80\x9c"}), (std::vector<KeyCode>{0xE3, 0x80, 0x93}));
  // split across reads, pending in between
  EXPECT_EQ(decode({"\xe2", "\x82", "\xac"}), (std::vector<KeyCode>{0x80}));
  KeyDecoder decoder(127, true);
  std::vector<KeyCode> out;
  decoder.feed(reinterpret_cast<const unsigned char*>("\xc3"), 1, out);
  EXPECT_TRUE(decoder.pending());
  EXPECT_EQ(decoder.timeout(), kNoKey);  // a character never finished is dropped
  // characters Windows-1252 lacks (CJK, emoji, the no-break hyphen U+2011) give the code the
  // editor beeps at; the C1 control U+0085 is no typed character and gives nothing
  EXPECT_EQ(decode({"\xe4\xb8\xad"
                    "1\xf0\x9f\x98\x80"
                    "2\xc2\x85"
                    "3\xe2\x80\x91"}),
            (std::vector<KeyCode>{kKeyNoByte, '1', kKeyNoByte, '2', '3', kKeyNoByte}));
  struct {
    const char* bytes;
    std::vector<KeyCode> codes;
  } const invalid[] = {
      {"\xa3x", {'x'}},                  // stray continuation byte
      {"\xc3x", {'x'}},                  // broken off by an ASCII byte, which is kept
      {"\xc3\x1b[A", {kKeyUp}},          // broken off by a sequence
      {"\xc0\xafx", {'x'}},              // overlong slash
      {"\xe0\x80\xafx", {'x'}},          // overlong, three bytes
      {"\xed\xa0\x80x", {'x'}},          // surrogate
      {"\xf4\x90\x80\x80x", {'x'}},      // beyond U+10FFFF
      {"\xf8\x88\x80\x80\x80x", {'x'}},  // five-byte form
      {"\xfex\xffy", {'x', 'y'}},        // bytes that never occur
  };
  for (const auto& c : invalid) EXPECT_EQ(decode({c.bytes}), c.codes) << c.bytes;
}

}  // namespace
}  // namespace zepa
