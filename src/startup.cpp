#include "startup.h"

#include <clocale>
#include <cstdlib>

#include "console/console_writer.h"
#include "console/key_queue.h"
#include "console/keyboard.h"
#include "console/line_input.h"
#include "platform/float_control.h"
#include "sys/channels.h"
#include "sys/lifecycle.h"
#include "sys/std_streams.h"

namespace zepa {

void reset_runtime_state() {
  reset_channels();
  reset_std_streams();
  reset_console_state();
  reset_key_queue();
  reset_keyboard();
  reset_input_line();
}

void runtime_startup() {
  reset_runtime_state();
  set_float_control();
  // Character classes follow the user's locale; numbers keep the "C" conventions.
  std::setlocale(LC_CTYPE, "");
  std::atexit(runtime_shutdown);
}

}  // namespace zepa
