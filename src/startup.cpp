#include "startup.h"

#include <clocale>
#include <cstdlib>

#include "calc/memo.h"
#include "console/console_writer.h"
#include "console/key_queue.h"
#include "console/keyboard.h"
#include "console/line_input.h"
#include "platform/platform.h"
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
  reset_memos();
}

void runtime_startup() {
  reset_runtime_state();
  // Character classes and the terminal's character set follow the user's locale; numbers keep
  // the "C" conventions. A batch reads neither (every byte passes unchanged, no key is
  // translated), so it does not load the locale's tables: about 150 KiB of its peak memory.
  const Process* process = platform().process;
  if (process == nullptr || !process->batch()) std::setlocale(LC_CTYPE, "");
  std::atexit(runtime_shutdown);
}

}  // namespace zepa
