#include "support/scripted_keys.h"

#include "console/key_queue.h"
#include "startup.h"

namespace zepa::testing {

ScriptedKeys& ScriptedKeys::type(std::string_view text) {
  for (const char c : text) script.push_back(static_cast<unsigned char>(c));
  return *this;
}

ScriptedKeys& ScriptedKeys::press(KeyCode code) {
  script.push_back(code);
  return *this;
}

long ScriptedKeys::read_bytes(unsigned char*, std::size_t) {
  ++drains;
  if (fail_reads) return -1;
  while (next < script.size() && next != pause_at && key_queue_room() > 0) {
    push_key(script[next++]);
    if (one_per_drain) break;
  }
  return hang_up && next == script.size() ? kHungUp : 0;
}

void ScriptedKeys::wait(int timeout_ms) {
  ++waits;
  last_timeout = timeout_ms;
  if (next == pause_at) {
    pause_at = static_cast<std::size_t>(-1);
    if (at_pause) at_pause();
    return;
  }
  if (next >= script.size()) {
    ran_out = true;
    push_key(kKeyEnter);
  }
}

ConsoleRig::ConsoleRig(int width, int height, int window_rows, char fill)
    : screen(width, height, window_rows, fill) {
  process.kind = InputKind::kConsole;
  install_platform(Platform{&screen, &keys, &process});
  reset_runtime_state();
}

}  // namespace zepa::testing
