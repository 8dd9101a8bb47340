#include "sys/lifecycle.h"

#include <cstdlib>

#include "platform/platform.h"
#include "sys/channels.h"
#include "sys/std_streams.h"

namespace zepa {

// Registered at start-up, before the console event handler: run after its removal.
void runtime_shutdown() {
  close_all_channels();
  flush_all_output();
}

void end_program_hung_up() {
  flush_all_output();
  platform().process->end_hung_up();
  // Not reached: g++ does not carry [[noreturn]] through a virtual call, cppcheck does.
  // cppcheck-suppress unreachableCode
  std::abort();
}

void end_program(int code) {
  flush_all_output();
  if (code == 0 && stdout_failed()) code = 1;
  std::exit(code);
}

}  // namespace zepa
