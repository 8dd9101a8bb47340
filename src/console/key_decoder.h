#pragma once

#include <cstddef>
#include <vector>

#include "console/key_codes.h"

namespace zepa {

// Turns the bytes a terminal sends for keys into key codes, with no I/O of its own. Bytes may
// arrive split anywhere: an unfinished escape sequence or UTF-8 character waits for the next
// feed, and the caller ends that wait with timeout() when no byte followed soon enough (this is
// how a lone Esc is told from the start of a sequence, and a typed Enter followed by Ctrl+J from
// a pasted CR LF).
class KeyDecoder {
 public:
  // `erase` is the terminal's erase character (VERASE; 0 when disabled); `utf8` tells whether
  // characters arrive as UTF-8 (mapped to Windows-1252; kKeyNoByte when it has none) or as
  // single bytes of the code page itself.
  KeyDecoder(unsigned char erase, bool utf8);

  // Decodes `count` bytes and appends every finished key code to `out`.
  void feed(const unsigned char* bytes, std::size_t count, std::vector<KeyCode>& out);
  // Whether an escape sequence or a UTF-8 character is still unfinished, or a CR still waits
  // for the LF that may make it a CR LF line end.
  bool pending() const { return state_ != State::kGround || after_cr_; }
  // No byte came in time: a lone Esc gives 27 (Esc Esc gives Alt+Esc; inside a paste, nothing);
  // any other unfinished input is dropped (kNoKey), and an LF after it is Ctrl+Enter again.
  // Leaves nothing pending.
  KeyCode timeout();

 private:
  enum class State { kGround, kEscape, kCsi, kCsiBracket, kSs3, kUtf8 };

  void feed_byte(unsigned char byte, std::vector<KeyCode>& out);
  void ground(unsigned char byte, std::vector<KeyCode>& out);
  void escape(unsigned char byte, std::vector<KeyCode>& out);
  void sequence(unsigned char byte, std::vector<KeyCode>& out);
  void finish(unsigned char final_byte, std::vector<KeyCode>& out);
  void begin_utf8(unsigned char byte);
  void utf8(unsigned char byte, std::vector<KeyCode>& out);
  void character(int byte, std::vector<KeyCode>& out);
  void reset();

  unsigned char erase_;
  bool utf8_;
  State state_ = State::kGround;
  bool alt_ = false;      // an Esc before the key: the terminal's form of Alt
  char params_[16] = {};  // parameter bytes of a CSI or SS3 sequence
  int param_count_ = 0;
  bool drop_ = false;        // a report or an unknown form: consumed, never a key
  bool paste_ = false;       // between the brackets of a paste: bytes are text
  bool after_cr_ = false;    // the last byte was a CR: an LF now ends the same line
  char32_t code_point_ = 0;  // UTF-8 character being assembled
  int continuation_left_ = 0;
  int utf8_length_ = 0;
};

}  // namespace zepa
