#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zepa {

enum class LineSource { kText, kStdin };

// Why a console gives no more lines: its key source failed, or its terminal hung up.
enum class InputLoss { kNone, kFailed, kHungUp };

// The last line read: its text, the index of the next byte to take, and where items come from
// (the text, or standard input byte by byte when standard input is not a console, after the
// bytes the item reader put back), and why no more lines will come, if none will: set by the
// read_line that found it, for the rest of the process; the dialogue then ends, having computed
// and recorded nothing of the half-typed case.
struct InputLine {
  std::string text;
  std::int32_t position = 0;
  LineSource source = LineSource::kText;
  unsigned char put_back[4] = {};
  int put_back_count = 0;
  InputLoss loss = InputLoss::kNone;
};

InputLine& input_line();
// Empties the input line (start-up and tests).
void reset_input_line();

// Whether read_line shows "? " after the prompt, and whether it ends the line after the reply.
enum class QuestionMark : bool { kNo = false, kYes = true };
enum class LineEndAfter : bool { kNo = false, kYes = true };

// Whether standard input is a console the line editor reads from.
bool stdin_is_console();

// Reads one line into the input line. At a console: settles the output, shows the prompt and
// (if asked) "? ", runs the line editor and (if asked) ends the line. With redirected input:
// shows nothing and leaves the items to be read from standard input. On a terminal that cannot
// address the cursor: shows the prompt and "? " and reads through the terminal's own line
// discipline.
void read_line(std::string_view prompt, QuestionMark question_mark, LineEndAfter line_end);

}  // namespace zepa
