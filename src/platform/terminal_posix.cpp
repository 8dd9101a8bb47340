#include "platform/terminal.h"

namespace zepa {

namespace {

// Placeholder until the terminal backend lands: no console grid, no keys.
class TerminalScreen final : public ScreenBuffer {
 public:
  bool read_info(ScreenInfo&) override { return false; }
  bool put_cells(int, int, const unsigned char*, int, std::uint16_t) override { return false; }
  void scroll_up(int, int, int, int, int, std::uint16_t) override {}
  void blank_row(int, int, int, std::uint16_t) override {}
  void set_cursor(int, int) override {}
  void set_window(int, int, int, int) override {}
  bool cursor_visible() override { return true; }
  void set_cursor_visible(bool) override {}
  void beep() override {}
};

class TerminalKeys final : public KeySource {
 public:
  void setup() override {}
  void install_event_handler() override {}
  bool drain() override { return true; }
  void wait(int) override {}
};

}  // namespace

ScreenBuffer& terminal_screen() {
  static TerminalScreen screen;
  return screen;
}

KeySource& terminal_keys() {
  static TerminalKeys keys;
  return keys;
}

}  // namespace zepa
