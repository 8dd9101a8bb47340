#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zepa {

enum class LineSource { kText, kStdin };

// The last line read: its text, the index of the next byte to take, and where items come from
// (the text, or standard input byte by byte when standard input is not a console).
struct InputLine {
  std::string text;
  std::int32_t position = 0;
  LineSource source = LineSource::kText;
};

InputLine& input_line();

// Whether standard input is a console the line editor reads from.
bool stdin_is_console();

// Reads one line into the input line. At a console: settles the output, shows the prompt and
// (if asked) "? ", runs the line editor and (if asked) ends the line. With redirected input:
// shows nothing and leaves the items to be read from standard input. On a terminal that cannot
// address the cursor: shows the prompt and "? " and reads through the terminal's own line
// discipline.
void read_line(std::string_view prompt, bool show_question_mark, bool new_line_after);

// The line editor: edits a line at the cursor until Enter (13) or Ctrl+Enter (10) and returns
// it (bytes 32..255 only).
std::string edit_line();

}  // namespace zepa
