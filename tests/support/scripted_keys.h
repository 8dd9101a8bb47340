#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/key_source.h"
#include "support/memory_process.h"
#include "support/memory_screen.h"

namespace zepa::testing {

// What a terminal sends for the editor's keys (xterm's forms; Backspace is DEL).
inline const std::string kLeft = "\x1b[D", kRight = "\x1b[C", kUp = "\x1b[A", kDown = "\x1b[B",
                         kHome = "\x1b[H", kEnd = "\x1b[F", kInsert = "\x1b[2~",
                         kDelete = "\x1b[3~", kPageUp = "\x1b[5~", kPageDown = "\x1b[6~",
                         kF1 = "\x1bOP", kF11 = "\x1b[23~", kF12 = "\x1b[24~", kBackspace = "\x7f";

// A terminal typed at by a script: bytes handed to the keyboard layer through read_bytes, so
// that they go through the key decoder as a terminal's do. The script is a list of bursts; a
// read hands out what the queue has room for of the current one, and the next comes only when
// the program waits for a key with no limit (first running the burst's `before`: a resize, say).
// A wait with a limit (a lone Esc not yet known to stand alone) lets that time pass with
// nothing typed. A script that runs out throws, failing the test, unless `expect_end` says the
// test waits for that: each wait then sends an Enter; or unless `hang_up` makes the terminal
// hang up there.
class ScriptedKeys : public KeySource {
 public:
  // Appends bytes to the last burst.
  ScriptedKeys& type(std::string_view bytes);
  // Starts a burst that comes at the next wait, after `before` has run.
  ScriptedKeys& pause(std::function<void()> before = {});

  bool expect_end = false;
  bool hang_up = false;
  bool fail_reads = false;  // every read fails, as a console whose input cannot be read
  bool ran_out = false;
  int installs = 0;  // install_event_handler calls
  int waits = 0;
  int last_timeout = 0;  // the limit the last wait was given

  void setup() override {}
  void install_event_handler(void (*)()) override { ++installs; }
  long read_bytes(unsigned char* bytes, std::size_t size) override;
  void wait(int timeout_ms) override;

 private:
  struct Burst {
    std::string bytes;
    std::function<void()> before;
  };
  std::vector<Burst> bursts_{1};
  std::size_t burst_ = 0;  // the burst being read
  std::size_t sent_ = 0;   // its bytes read so far
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
