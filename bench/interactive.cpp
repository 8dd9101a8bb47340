// Interactive cost of the line editor on an in-memory 80 x 25 console: the screen-buffer calls
// and the cells written per key for typing at the end of a 200-character line, inserting and
// deleting in its middle, and pasting 1,000 and 10,000 characters. Each figure is the cost of
// a read with the keys less the cost of the same read without them, divided by their count.
// Prints one line per measure: "name calls-per-key reads-per-key cells-per-key" (reads: the
// screen-buffer readings among the calls).
#include <cstdio>
#include <string>
#include <vector>

#include "console/line_input.h"
#include "platform/platform.h"
#include "startup.h"
#include "support/memory_process.h"
#include "support/memory_screen.h"
#include "support/scripted_keys.h"

namespace {

// Counts every call the console writer makes on the screen buffer.
class CountingScreen : public zepa::testing::MemoryScreen {
 public:
  CountingScreen() : MemoryScreen(80, 25) {}
  long calls = 0;

  bool read_info(zepa::ScreenInfo& info) override {
    ++calls;
    return MemoryScreen::read_info(info);
  }
  bool put_cells(int x, int y, const unsigned char* bytes, int count,
                 std::uint16_t attribute) override {
    ++calls;
    return MemoryScreen::put_cells(x, y, bytes, count, attribute);
  }
  void scroll_up(int left, int top, int right, int bottom, int n,
                 std::uint16_t attribute) override {
    ++calls;
    MemoryScreen::scroll_up(left, top, right, bottom, n, attribute);
  }
  void blank_row(int y, int left, int right, std::uint16_t attribute) override {
    ++calls;
    MemoryScreen::blank_row(y, left, right, attribute);
  }
  void set_cursor(int x, int y) override {
    ++calls;
    MemoryScreen::set_cursor(x, y);
  }
  void set_window(int left, int top, int right, int bottom) override {
    ++calls;
    MemoryScreen::set_window(left, top, right, bottom);
  }
  bool cursor_visible() override {
    ++calls;
    return MemoryScreen::cursor_visible();
  }
  void set_cursor_visible(bool shown) override {
    ++calls;
    MemoryScreen::set_cursor_visible(shown);
  }
};

struct Cost {
  long calls;
  long reads;
  long cells;
};

// Keys as a terminal sends them, each one key's bytes.
using Keys = std::vector<std::string>;

// One read_line of `keys` and Enter on a fresh console: what it cost the screen buffer.
Cost read_cost(const Keys& keys) {
  CountingScreen screen;
  zepa::testing::ScriptedKeys source;
  zepa::testing::MemoryProcess process;
  process.kind = zepa::InputKind::kConsole;
  zepa::install_platform(zepa::Platform{&screen, &source, &process});
  zepa::reset_runtime_state();
  for (const std::string& key : keys) source.type(key);
  source.type("\r");
  zepa::read_line(">", zepa::QuestionMark::kNo, zepa::LineEndAfter::kYes);
  return {screen.calls, screen.reads, screen.cells_written};
}

Keys repeat(const std::string& key, int n) {
  return Keys(static_cast<std::size_t>(n), key);
}

Keys operator+(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void report(const char* name, const Keys& before, const Keys& measured) {
  const Cost base = read_cost(before);
  const Cost with = read_cost(before + measured);
  const double n = static_cast<double>(measured.size());
  std::printf("%s %.2f %.2f %.2f\n", name, (with.calls - base.calls) / n,
              (with.reads - base.reads) / n, (with.cells - base.cells) / n);
}

}  // namespace

int main() {
  using zepa::testing::kBackspace;
  using zepa::testing::kDelete;
  using zepa::testing::kHome;
  using zepa::testing::kRight;
  const Keys line = repeat("x", 200);
  const Keys to_middle = Keys{kHome} + repeat(kRight, 100);
  report("type_at_end_of_200", repeat("x", 199), Keys{"x"});
  report("type_200_at_end", {}, line);
  report("insert_at_100_of_200", line + to_middle, repeat("y", 20));
  report("delete_at_100_of_200", line + to_middle, repeat(kDelete, 20));
  report("backspace_at_100_of_200", line + to_middle, repeat(kBackspace, 20));
  report("paste_1000", {}, repeat("1", 1000));
  report("paste_10000", {}, repeat("1", 10000));
  return 0;
}
