#include "console/line_input.h"

#include "console/console_writer.h"
#include "console/keyboard.h"
#include "console/line_editor.h"
#include "console/print.h"
#include "platform/platform.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

InputLine g_line;

// A terminal that cannot address the cursor edits the line itself and echoes the Enter; the
// line arrives whole on standard input.
void read_plain_terminal_line(InputLine& line, LineEndAfter line_end) {
  int byte = stdin_next_byte();
  while (byte >= 0 && byte != '\n') {
    line.text.push_back(static_cast<char>(byte));
    byte = stdin_next_byte();
  }
  if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
  if (stdin_hung_up()) {
    line.loss = InputLoss::kHungUp;
    return;
  }
  // End of input leaves the cursor after the prompt: end the line as the editor would.
  if (byte < 0 && line_end == LineEndAfter::kYes) print_end(0, kEndLine);
}

// Standard output that records the dialogue has failed: said once on the terminal, where the
// dialogue goes on.
void show_stdout_warning() {
  const std::string_view warning = take_stdout_warning();
  if (warning.empty()) return;
  console_write(reinterpret_cast<const unsigned char*>(warning.data()), warning.size());
  console_write(reinterpret_cast<const unsigned char*>("\r\n"), 2);
}

}  // namespace

InputLine& input_line() {
  return g_line;
}

void reset_input_line() {
  g_line = InputLine{};
}

bool stdin_is_console() {
  return platform().process->input_kind() != InputKind::kRedirected;
}

namespace {

// read_line at a console or a terminal: the prompt, then the line as typed.
void read_typed_line(InputLine& line, InputKind kind, std::string_view prompt,
                     QuestionMark question_mark, LineEndAfter line_end) {
  line.source = LineSource::kText;
  console_write(nullptr, 0, Settle::kYes);
  show_stdout_warning();
  print_text(0, prompt, kEndNone);
  if (question_mark == QuestionMark::kYes) print_text(0, "? ", kEndNone);
  if (kind == InputKind::kPlainTerminal) {
    read_plain_terminal_line(line, line_end);
    return;
  }
  std::string shown(prompt);
  if (question_mark == QuestionMark::kYes) shown += "? ";
  std::string text;
  if (!edit_line(text, shown)) {
    line.loss = keys_end() == KeysEnd::kHungUp ? InputLoss::kHungUp : InputLoss::kFailed;
    line.text = std::move(text);
    return;
  }
  // The reply as typed goes to the transcript; the editor's echo and redraws never do.
  if (platform().process->transcript()) {
    stdout_write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  }
  if (line_end == LineEndAfter::kYes) print_end(0, kEndLine);
  line.text = std::move(text);
}

}  // namespace

void read_line(std::string_view prompt, QuestionMark question_mark, LineEndAfter line_end) {
  InputLine& line = input_line();
  line.text.clear();
  line.position = 0;
  const InputKind kind = platform().process->input_kind();
  if (kind == InputKind::kRedirected) {
    line.source = LineSource::kStdin;
    return;
  }
  read_typed_line(line, kind, prompt, question_mark, line_end);
}

}  // namespace zepa
