// The help page's calculator: the program's own item parsing, segment computation, number text
// and memo, built to WebAssembly. The page hands over the two typed replies as Unicode code
// points and reads back the lines the console would show and the memo the program would append.

#include <cstdint>
#include <string>
#include <vector>

#include "calc/memo.h"
#include "calc/segment.h"
#include "calc/texts.h"
#include "console/item_parser.h"
#include "console/line_input.h"
#include "console/number_text.h"
#include "platform/cp1252.h"
#include "startup.h"

namespace {

struct Case {
  std::string screen;                // the console's lines, each ended by "\n"
  std::string memo;                  // the memo's Windows-1252 bytes; empty for a refused pair
  std::vector<char32_t> memo_chars;  // each memo byte as its Windows-1252 character
  std::vector<char32_t> screen_chars;
  int decimal_comma = 0;  // 1: in c's reply, 2: in f's, 3: in both
  float c = 0;            // the two data as the program read them, for the page's further values
  float f = 0;
};

Case g_case;

// A typed reply as the line editor stores it: characters the code page lacks are dropped, as
// the terminal's key layer drops them, and so are control codes, which the editor never stores.
std::string typed_line(const std::uint32_t* chars, int count) {
  std::string line;
  for (int i = 0; i < count; ++i) {
    const int byte = zepa::cp1252_from_unicode(chars[i]);
    if (byte >= 32) line += static_cast<char>(byte);
  }
  return line;
}

// The first item of the line as a number, read as the dialogue reads it after the line editor;
// false for a number with a decimal comma, which the dialogue does not take.
bool number_of(std::string line, float& value) {
  zepa::reset_runtime_state();
  zepa::input_line() = zepa::InputLine{std::move(line), 0, zepa::LineSource::kText};
  if (zepa::typed_decimal_comma()) return false;
  zepa::input_single(value);
  return true;
}

std::vector<char32_t> characters_of(const std::string& bytes) {
  std::vector<char32_t> out;
  out.reserve(bytes.size() + 1);
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    // Line ends stay line ends; every other byte is the character the console shows for it.
    out.push_back(byte == '\r' || byte == '\n' ? byte : zepa::cp1252_cell_char(byte));
  }
  out.push_back(0);
  return out;
}

}  // namespace

extern "C" {

// Computes the case of the two typed replies (code points). 1 when computed, 0 when refused: a
// reply with a decimal comma (the console's warning, and no case), or the pair.
int zepa_case(const std::uint32_t* c_chars, int c_count, const std::uint32_t* f_chars,
              int f_count) {
  float c = 0;
  float f = 0;
  g_case = Case{};
  if (!number_of(typed_line(c_chars, c_count), c)) g_case.decimal_comma |= 1;
  if (!number_of(typed_line(f_chars, f_count), f)) g_case.decimal_comma |= 2;
  g_case.c = c;
  g_case.f = f;
  const bool accepted = g_case.decimal_comma == 0 && zepa::sagitta_accepted(c, f);
  if (g_case.decimal_comma != 0) {
    g_case.screen = std::string(zepa::kDecimalComma) + "\n";
  } else if (accepted) {
    const zepa::ResultTexts results = zepa::result_texts(zepa::compute_segment(c, f));
    g_case.screen = std::string(zepa::kLabelR).append(results.r.view()) + "\n" + zepa::kLabelA +
                    std::string(results.a.view()) + "\n" + zepa::kLabelAlfaConsole +
                    std::string(results.alfa.view()) + "\n";
    g_case.memo = zepa::memo_text(c, f, results);
  } else {
    g_case.screen = std::string(zepa::kRefusal) + "\n";
  }
  g_case.screen_chars = characters_of(g_case.screen);
  g_case.memo_chars = characters_of(g_case.memo);
  return accepted ? 1 : 0;
}

// Which replies of the last case had a decimal comma: 1 c's, 2 f's, 3 both, 0 none.
int zepa_decimal_comma() {
  return g_case.decimal_comma;
}

// The last case's c and f as the program read them (singles).
float zepa_c() {
  return g_case.c;
}
float zepa_f() {
  return g_case.f;
}

// The last case's console lines and memo as zero-terminated code points.
const char32_t* zepa_screen() {
  return g_case.screen_chars.data();
}
const char32_t* zepa_memo() {
  return g_case.memo_chars.data();
}

// The last case's memo as the file receives it: its bytes and their count.
const char* zepa_memo_bytes() {
  return g_case.memo.data();
}
int zepa_memo_size() {
  return static_cast<int>(g_case.memo.size());
}

}  // extern "C"
