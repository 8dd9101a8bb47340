// The line editor fed arbitrary key codes on an in-memory console of arbitrary size. The first
// three bytes choose the width (1..80), the buffer's rows and the window's rows; then each byte
// is a key code, except that 0xF0..0xFF take the next byte as an extended key's number. Checks:
// the line holds only bytes 32..255 and equals what a plain model of the key table gives, the
// cursor ends inside the window, and the editor ends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console_writer.h"
#include "console/key_codes.h"
#include "console/key_queue.h"
#include "console/line_input.h"
#include "support/scripted_keys.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "line editor rule broken: %s\n", what);
  std::abort();
}

// Hands the key codes straight to the keyboard queue, as many as it has room for (the editor
// is fuzzed here, not the decoder), and an Enter at each wait once they have run out.
class CodeKeys : public zepa::KeySource {
 public:
  std::vector<zepa::KeyCode> codes;
  std::size_t next = 0;
  void setup() override {}
  void install_event_handler(void (*)()) override {}
  long read_bytes(unsigned char*, std::size_t) override {
    while (next < codes.size() && zepa::key_queue_room() > 0) zepa::push_key(codes[next++]);
    return 0;
  }
  void wait(int) override {
    if (next >= codes.size()) zepa::push_key(zepa::kKeyEnter);
  }
};

// The key table on a plain string: what the line must hold after the keys (up to Enter).
std::string model_line(const std::vector<zepa::KeyCode>& keys, std::size_t width) {
  std::string line;
  std::size_t pos = 0;
  for (const zepa::KeyCode code : keys) {
    if (code == 13 || code == 10) break;
    if (code == 8) {
      if (pos > 0) line.erase(--pos, 1);
    } else if (code == 9) {
      const std::size_t n = 8 - pos % 8;
      line.insert(pos, n, ' ');
      pos += n;
    } else if (code == 27) {
      line.clear();
      pos = 0;
    } else if (code == zepa::kKeyHome) {
      pos = 0;
    } else if (code == zepa::kKeyEnd) {
      pos = line.size();
    } else if (code == zepa::kKeyLeft) {
      if (pos > 0) --pos;
    } else if (code == zepa::kKeyRight) {
      if (pos < line.size()) ++pos;
    } else if (code == zepa::kKeyUp) {
      if (pos >= width) pos -= width;
    } else if (code == zepa::kKeyDown) {
      if (pos + width <= line.size()) pos += width;
    } else if (code == zepa::kKeyDelete) {
      if (pos < line.size()) line.erase(pos, 1);
    } else if (code >= 32 && code <= 255) {
      line.insert(pos++, 1, static_cast<char>(code));
    }
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int width = 1 + data[0] % 80;
  const int window_rows = 1 + data[1] % 25;
  const int height = window_rows + data[2] % 8;
  std::vector<zepa::KeyCode> keys;
  for (std::size_t i = 3; i < size; ++i) {
    if (data[i] >= 0xF0 && i + 1 < size) {
      keys.push_back(zepa::extended_key(data[++i]));
    } else {
      keys.push_back(data[i]);
    }
  }
  zepa::testing::ConsoleRig rig(width, height, window_rows);
  CodeKeys source;
  source.codes = keys;
  zepa::install_platform(zepa::Platform{&rig.screen, &source, &rig.process});
  zepa::read_line(">", zepa::QuestionMark::kNo, zepa::LineEndAfter::kYes);

  const std::string& line = zepa::input_line().text;
  for (const char c : line) check(static_cast<unsigned char>(c) >= 32, "control byte stored");
  // A view one column wide or one row tall counts as no console: the editor then works with
  // the default 80 columns, which is what console_size tells.
  const auto view_width = static_cast<std::size_t>(zepa::console_size().width);
  check(line == model_line(keys, view_width), "line differs from the model");
  const auto& screen = rig.screen;
  check(screen.cursor_x >= 0 && screen.cursor_x < width, "cursor column outside the view");
  check(screen.cursor_y >= screen.window_top && screen.cursor_y <= screen.window_bottom,
        "cursor row outside the window");
  return 0;
}
