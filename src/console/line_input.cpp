#include "console/line_input.h"

#include "console/console_writer.h"
#include "console/print.h"
#include "platform/platform.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

InputLine g_line;

// A terminal that cannot address the cursor edits the line itself and echoes the Enter; the
// line arrives whole on standard input.
void read_plain_terminal_line(InputLine& line, bool new_line_after) {
  int byte = stdin_next_byte();
  while (byte >= 0 && byte != '\n') {
    line.text.push_back(static_cast<char>(byte));
    byte = stdin_next_byte();
  }
  if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
  // End of input leaves the cursor after the prompt: end the line as the editor would.
  if (byte < 0 && new_line_after) print_end(0, kEndLine);
}

}  // namespace

InputLine& input_line() { return g_line; }

bool stdin_is_console() { return platform().process->input_kind() != InputKind::kRedirected; }

void read_line(std::string_view prompt, bool show_question_mark, bool new_line_after) {
  InputLine& line = input_line();
  line.text.clear();
  line.position = 0;
  const InputKind kind = platform().process->input_kind();
  if (kind == InputKind::kRedirected) {
    line.source = LineSource::kStdin;
    return;
  }
  line.source = LineSource::kText;
  console_write(nullptr, 0, true);
  print_text(0, prompt, kEndNone);
  if (show_question_mark) print_text(0, "? ", kEndNone);
  if (kind == InputKind::kPlainTerminal) {
    read_plain_terminal_line(line, new_line_after);
    return;
  }
  std::string text = edit_line();
  if (new_line_after) print_end(0, kEndLine);
  line.text = std::move(text);
}

}  // namespace zepa
