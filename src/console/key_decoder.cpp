#include "console/key_decoder.h"

#include "console/key_table.h"
#include "platform/cp1252.h"

// The key sequences of terminals (ESC = 27, CSI = ESC [, SS3 = ESC O). A modifier parameter m
// is 1 + the bits Shift 1, Alt 2, Ctrl 4, Meta 8, as xterm and its kin send it:
//   CSI A B C D, SS3 A B C D    Up, Down, Right, Left   (CSI 1;m A and SS3 m A with modifiers)
//   CSI H F, SS3 H F            Home, End (xterm; SS3 in application cursor mode)
//   CSI E G, SS3 E              the keypad's middle key with Num Lock off
//   CSI n ~   (CSI n;m ~)       1 or 7 Home, 2 Insert, 3 Delete, 4 or 8 End, 5 Page Up,
//                               6 Page Down, 11-15 F1-F5, 17-21 F6-F10, 23 F11, 24 F12
//   CSI n ^, CSI n $, CSI n @   the same keys with Ctrl, Shift, Ctrl+Shift (rxvt)
//   CSI a b c d / SS3 a b c d   Up, Down, Right, Left with Shift / with Ctrl (rxvt)
//   CSI P Q R S, SS3 P Q R S    F1-F4 (CSI 1;m P with modifiers)
//   CSI [ A .. CSI [ E          F1-F5 (the Linux console)
//   CSI Z                       Shift+Tab
//   SS3 p..y n M j k l m o X I and SS3 blank
//                               the keypad in application mode: 0-9 . Enter * + , - / = Tab blank
//   ESC key                     Alt+key (ESC ESC [ A is Alt+Up)
//   CSI 200 ~ ... CSI 201 ~     a bracketed paste: the bytes between are text, not keys
// Every other complete CSI or SS3 sequence (reports, mouse, focus, unknown keys) is consumed
// whole and dropped. Modified keys get the codes the Windows console gives them, except Alt with
// a character that is no key's own on a US layout (a shifted symbol, a letter such as c-cedilla),
// which gives nothing: on a terminal that form is always Alt, since AltGr characters arrive bare.
//
// Line ends: CR is Enter and LF is Ctrl+Enter, but an LF right after a CR in the same burst of
// input is the second half of one line end (pasted text from a system that ends lines with
// CR LF) and gives nothing. In a bracketed paste CR, LF and CR LF are each one Enter.

namespace zepa {

namespace {

// The scan code of function key F1..F12.
unsigned function_key(int n) {
  return n <= 10 ? kScanF1 + static_cast<unsigned>(n - 1)
                 : kScanF11 + static_cast<unsigned>(n - 11);
}

// The column of a modifier parameter: Alt before Ctrl before Shift, as the console picks it.
KeyColumn column_of(int modifier, bool alt) {
  const int bits = modifier >= 2 ? modifier - 1 : 0;
  if (alt || (bits & (2 | 8)) != 0) return kColumnAlt;
  if ((bits & 4) != 0) return kColumnCtrl;
  if ((bits & 1) != 0) return kColumnShift;
  return kColumnPlain;
}

KeyCode key_code(unsigned scan, KeyColumn column) {
  if (scan == kScanBegin) return table_key(scan, column);
  return enhanced_key(scan, column);
}

KeyCode function_key_code(int n, KeyColumn column) {
  return table_key(function_key(n), column);
}

KeyCode tilde_key(int number, KeyColumn column) {
  switch (number) {
    case 1:
    case 7:
      return key_code(kScanHome, column);
    case 2:
      return key_code(kScanInsert, column);
    case 3:
      return key_code(kScanDelete, column);
    case 4:
    case 8:
      return key_code(kScanEnd, column);
    case 5:
      return key_code(kScanPageUp, column);
    case 6:
      return key_code(kScanPageDown, column);
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return function_key_code(number - 10, column);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return function_key_code(number - 11, column);
    case 23:
    case 24:
      return function_key_code(number - 12, column);
    default:
      return kNoKey;
  }
}

// The final bytes shared by CSI and SS3: arrows, Home, End, the middle key and F1-F4.
KeyCode cursor_key(unsigned char final_byte, KeyColumn column) {
  switch (final_byte) {
    case 'A':
      return key_code(kScanUp, column);
    case 'B':
      return key_code(kScanDown, column);
    case 'C':
      return key_code(kScanRight, column);
    case 'D':
      return key_code(kScanLeft, column);
    case 'H':
      return key_code(kScanHome, column);
    case 'F':
      return key_code(kScanEnd, column);
    case 'E':
      return key_code(kScanBegin, column);
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return function_key_code(1 + final_byte - 'P', column);
    default:
      return kNoKey;
  }
}

KeyCode csi_key(unsigned char final_byte, int first, int modifier, bool alt) {
  switch (final_byte) {
    case 'G':
      return key_code(kScanBegin, column_of(modifier, alt));
    case 'Z':
      return table_key(kScanTab, kColumnShift);
    case 'a':
    case 'b':
    case 'c':
    case 'd':
      return cursor_key(static_cast<unsigned char>(final_byte - 'a' + 'A'), column_of(2, alt));
    case '~':
      return tilde_key(first, column_of(modifier, alt));
    case '^':
      return tilde_key(first, column_of(5, alt));
    case '$':
      return tilde_key(first, column_of(2, alt));
    case '@':
      return tilde_key(first, column_of(6, alt));
    default:
      return cursor_key(final_byte, column_of(modifier, alt));
  }
}

// The character a keypad key sends in application mode (SS3 final byte), or -1.
int keypad_character(unsigned char final_byte) {
  if (final_byte >= 'p' && final_byte <= 'y') return '0' + final_byte - 'p';
  switch (final_byte) {
    case 'n':
      return '.';
    case 'M':
      return 13;
    case 'j':
      return '*';
    case 'k':
      return '+';
    case 'l':
      return ',';
    case 'm':
      return '-';
    case 'o':
      return '/';
    case 'X':
      return '=';
    case 'I':
      return 9;
    case ' ':
      return ' ';
    default:
      return -1;
  }
}

// Alt with a character key. The console gives the extended code of the key (the key table's
// Alt entry of its scan code) when the character is the key's own on a US layout, in either
// case; other characters (shifted symbols, composed letters) come through as they are.
KeyCode alt_character(int byte) {
  struct KeyRange {
    const char* keys;
    unsigned first_scan;
  };
  static constexpr KeyRange kUsLayout[] = {
      {"1234567890-=", 0x02}, {"qwertyuiop[]", 0x10}, {"asdfghjkl;'`", 0x1E}, {"zxcvbnm,./", 0x2C}};
  const int lower = (byte >= 'A' && byte <= 'Z') ? byte - 'A' + 'a' : byte;
  for (const KeyRange& range : kUsLayout) {
    for (unsigned i = 0; range.keys[i] != '\0'; ++i) {
      if (range.keys[i] == lower) return table_key(range.first_scan + i, kColumnAlt);
    }
  }
  return kNoKey;
}

// What a pasted byte gives: text, with line ends as Enter; a pasted control (a Backspace among
// them) is not a key the user pressed.
KeyCode pasted(int byte) {
  if (byte == 13 || byte == 10) return kKeyEnter;
  if (byte == 9 || (byte >= 0x20 && byte != 0x7F)) return byte;
  return kNoKey;
}

}  // namespace

KeyDecoder::KeyDecoder(unsigned char erase, bool utf8)
    // Only a control byte can be the erase key; anything else would eat a printable character.
    : erase_(erase < 0x20 || erase == 0x7F ? erase : 0), utf8_(utf8) {}

void KeyDecoder::feed(const unsigned char* bytes, std::size_t count, std::vector<KeyCode>& out) {
  for (std::size_t i = 0; i < count; ++i) feed_byte(bytes[i], out);
}

KeyCode KeyDecoder::timeout() {
  KeyCode code = kNoKey;
  if (state_ == State::kEscape && !paste_) code = alt_ ? table_key(kScanEsc, kColumnAlt) : kKeyEsc;
  reset();
  after_cr_ = false;
  return code;
}

void KeyDecoder::reset() {
  state_ = State::kGround;
  alt_ = false;
  param_count_ = 0;
  drop_ = false;
  continuation_left_ = 0;
}

void KeyDecoder::feed_byte(unsigned char byte, std::vector<KeyCode>& out) {
  const bool after_cr = after_cr_;
  after_cr_ = false;
  if (after_cr && byte == 10) return;  // the LF of a CR LF line end
  switch (state_) {
    case State::kGround:
      ground(byte, out);
      break;
    case State::kEscape:
      escape(byte, out);
      break;
    case State::kUtf8:
      utf8(byte, out);
      break;
    default:
      sequence(byte, out);
      break;
  }
}

void KeyDecoder::ground(unsigned char byte, std::vector<KeyCode>& out) {
  if (byte == 27) {
    state_ = State::kEscape;
  } else if (byte >= 0x80 && utf8_) {
    begin_utf8(byte);
  } else {
    after_cr_ = byte == 13;
    character(byte, out);
  }
}

void KeyDecoder::escape(unsigned char byte, std::vector<KeyCode>& out) {
  if (byte == '[' || byte == 'O') {
    state_ = byte == '[' ? State::kCsi : State::kSs3;
    param_count_ = 0;
    drop_ = false;
  } else if (paste_) {
    // An Esc in pasted text starts no key: it is dropped, the byte after it is text.
    state_ = State::kGround;
    ground(byte, out);
  } else if (byte == 27) {
    // Esc Esc is the Alt prefix of an Esc key; a third Esc completes Alt+Esc and starts anew.
    if (alt_) out.push_back(table_key(kScanEsc, kColumnAlt));
    alt_ = !alt_;
  } else {
    alt_ = true;
    state_ = State::kGround;
    if (byte >= 0x80 && utf8_) {
      begin_utf8(byte);
    } else {
      character(byte, out);
    }
  }
}

void KeyDecoder::sequence(unsigned char byte, std::vector<KeyCode>& out) {
  if (byte == 27) {
    // The sequence broke off; this Esc begins the next key.
    reset();
    state_ = State::kEscape;
    return;
  }
  if (byte < 0x20 || byte >= 0x7F) {
    // A control or non-ASCII byte cannot be part of a sequence: drop the part seen, keep the byte.
    reset();
    ground(byte, out);
    return;
  }
  if (state_ == State::kCsiBracket) {
    const bool alt = alt_;
    reset();
    if (byte >= 'A' && byte <= 'E') {
      out.push_back(function_key_code(1 + byte - 'A', alt ? kColumnAlt : kColumnPlain));
    }
    return;
  }
  if (state_ == State::kCsi && param_count_ == 0 && byte == '[') {
    state_ = State::kCsiBracket;
    return;
  }
  if (byte >= 0x30 && byte <= 0x3F) {
    // Parameters of digits and separators name keys; < = > ? mark reports.
    if (byte >= 0x3C || param_count_ == static_cast<int>(sizeof params_)) drop_ = true;
    if (param_count_ < static_cast<int>(sizeof params_))
      params_[param_count_++] = static_cast<char>(byte);
    return;
  }
  const bool final_byte = byte >= 0x40 || (byte == '$' && state_ == State::kCsi) ||
                          (byte == ' ' && state_ == State::kSs3);
  if (!final_byte) {
    drop_ = true;  // an intermediate byte: not a key sequence
    return;
  }
  finish(byte, out);
}

void KeyDecoder::finish(unsigned char final_byte, std::vector<KeyCode>& out) {
  const bool csi = state_ == State::kCsi;
  const bool alt = alt_;
  const bool drop = drop_;
  int values[2] = {0, 0};
  int count = param_count_ > 0 ? 1 : 0;
  for (int i = 0; i < param_count_; ++i) {
    const char c = params_[i];
    if (c == ';' || c == ':') {
      ++count;
    } else if (count <= 2 && values[count - 1] < 10000) {
      values[count - 1] = values[count - 1] * 10 + (c - '0');
    }
  }
  reset();
  if (drop) return;
  if (csi && final_byte == '~' && count == 1 && (values[0] == 200 || values[0] == 201)) {
    paste_ = values[0] == 200;
    return;
  }
  if (paste_) return;  // a key's sequence in pasted text is not a key
  if (csi) {
    const KeyCode code = csi_key(final_byte, values[0], values[1], alt);
    if (code != kNoKey) out.push_back(code);
    return;
  }
  const int keypad = keypad_character(final_byte);
  if (keypad >= 0) {
    alt_ = alt;
    character(keypad, out);
    return;
  }
  // SS3 carries its modifier alone (SS3 5 A) or after a 1 (SS3 1;5 A).
  const int modifier = count >= 2 ? values[1] : values[0];
  const bool ctrl_arrow = final_byte >= 'a' && final_byte <= 'd';
  const KeyCode code =
      ctrl_arrow ? cursor_key(static_cast<unsigned char>(final_byte - 'a' + 'A'), column_of(5, alt))
                 : cursor_key(final_byte, column_of(modifier, alt));
  if (code != kNoKey) out.push_back(code);
}

void KeyDecoder::begin_utf8(unsigned char byte) {
  if (byte >= 0xC2 && byte <= 0xDF) {
    code_point_ = byte & 0x1F;
    utf8_length_ = 2;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    code_point_ = byte & 0x0F;
    utf8_length_ = 3;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    code_point_ = byte & 0x07;
    utf8_length_ = 4;
  } else {
    reset();  // a stray continuation byte or a byte that never leads: dropped
    return;
  }
  continuation_left_ = utf8_length_ - 1;
  state_ = State::kUtf8;
}

void KeyDecoder::utf8(unsigned char byte, std::vector<KeyCode>& out) {
  if ((byte & 0xC0) != 0x80) {
    // The character broke off: drop it; the byte starts afresh.
    reset();
    ground(byte, out);
    return;
  }
  code_point_ = (code_point_ << 6) | (byte & 0x3F);
  if (--continuation_left_ > 0) return;
  static constexpr char32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
  const char32_t ch = code_point_;
  const bool valid =
      ch >= kShortest[utf8_length_] && (ch < 0xD800 || ch > 0xDFFF) && ch <= 0x10FFFF;
  if (!valid) {
    reset();  // overlong or a surrogate: no character
    return;
  }
  const int byte_value = cp1252_from_unicode(ch);
  if (byte_value < 0) {
    // A character the line cannot hold (an emoji, CJK) is answered by the editor's beep; a C1
    // control is no character the user typed.
    const bool alt = alt_;
    reset();
    if (ch >= 0xA0 && !alt) out.push_back(kKeyNoByte);
    return;
  }
  state_ = State::kGround;
  character(byte_value, out);
}

void KeyDecoder::character(int byte, std::vector<KeyCode>& out) {
  const bool alt = alt_;
  reset();
  if (paste_) {
    const KeyCode code = pasted(byte);
    if (code != kNoKey) out.push_back(code);
    return;
  }
  // Terminals send 127 or 8 for Backspace depending on their settings; both erase here.
  const bool erase = byte == 8 || byte == 127 || (erase_ != 0 && byte == erase_);
  if (!alt) {
    out.push_back(erase ? kKeyBackspace : byte);
    return;
  }
  if (erase) {
    out.push_back(table_key(kScanBackspace, kColumnAlt));
  } else if (byte == 13) {
    out.push_back(table_key(kScanEnter, kColumnAlt));
  } else if (byte == 9) {
    out.push_back(table_key(kScanTab, kColumnShift));
  } else if (byte >= 0x20) {
    const KeyCode code = alt_character(byte);
    if (code != kNoKey) out.push_back(code);
  }
}

}  // namespace zepa
