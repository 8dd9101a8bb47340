#include "sys/lifecycle.h"

#include <cfenv>
#include <clocale>
#include <cstdlib>
#include <string>

#include "console/console_writer.h"
#include "console/key_queue.h"
#include "console/line_input.h"
#include "console/print.h"
#include "platform/platform.h"
#include "sys/channels.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

// Runs at exit, after the console event handler has been removed (registered later, so run
// earlier): every channel still open is written out and closed, and so is standard output.
void runtime_shutdown() {
  close_all_channels();
  flush_all_output();
}

}  // namespace

void flush_all_output() {
  if (platform().screen != nullptr) platform().screen->flush();
  stdout_flush();
}

void reset_runtime_state() {
  reset_channels();
  reset_console_state();
  reset_console_channel();
  reset_keyboard();
  input_line() = InputLine{};
  reset_std_streams();
}

void runtime_startup() {
  reset_runtime_state();
  std::fesetround(FE_TONEAREST);
  // Character classes follow the user's locale; numbers keep the "C" conventions.
  std::setlocale(LC_CTYPE, "");
  std::atexit(runtime_shutdown);
}

int run_command(std::string_view command) {
  if (command.empty()) return -1;
  flush_all_output();
  return platform().process->run_command(std::string(command));
}

void end_program(int code) {
  flush_all_output();
  if (code == 0 && stdout_failed()) code = 1;
  std::exit(code);
}

}  // namespace zepa
