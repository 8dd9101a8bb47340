#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "console/key_codes.h"
#include "platform/key_source.h"
#include "support/memory_process.h"
#include "support/memory_screen.h"

namespace zepa::testing {

// A key source that hands a scripted list of key codes to the keyboard queue, as many as the
// queue has room for or one per drain (a read of its bytes, which pushes the codes itself and
// returns no byte). When the script has run out, a wait pushes Enter (and notes it) so that an
// editor waiting for a key that never comes ends instead of hanging the test. `fail_reads`
// makes every read fail, as a console whose input cannot be read; `hang_up` makes the reads
// after the script report a terminal that hung up. `pause_at`: the script holds
// back its keys from that index until a wait, which first runs `at_pause` (a resize, say).
class ScriptedKeys : public KeySource {
 public:
  std::vector<KeyCode> script;
  std::size_t next = 0;
  bool one_per_drain = false;
  bool fail_reads = false;
  bool hang_up = false;
  std::size_t pause_at = static_cast<std::size_t>(-1);
  std::function<void()> at_pause;
  int setups = 0;
  int installs = 0;
  int drains = 0;
  int waits = 0;
  int last_timeout = 0;  // the limit the last wait was given
  bool ran_out = false;

  // Appends the bytes of `text` (typed characters) or one code to the script.
  ScriptedKeys& type(std::string_view text);
  ScriptedKeys& press(KeyCode code);

  void setup() override { ++setups; }
  void install_event_handler(void (*)()) override { ++installs; }
  long read_bytes(unsigned char* bytes, std::size_t size) override;
  void wait(int timeout_ms) override;
};

// A console platform in memory: the screen, scripted keys and a process whose standard input
// is a console, installed over freshly reset process-wide records.
struct ConsoleRig {
  MemoryScreen screen;
  ScriptedKeys keys;
  MemoryProcess process;
  ConsoleRig(int width, int height, int window_rows = 0, char fill = ' ');
};

}  // namespace zepa::testing
