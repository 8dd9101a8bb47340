#include "console/console_writer.h"

#include <algorithm>

#include "platform/platform.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

// The part of the buffer that output uses: columns 0..W-1, the rows of the window.
// All four 0 records a failed reading. `any_size`: the screen draws in one row or one column.
// The Windows console's coordinates are 16-bit; a terminal's go up to 65,535.
struct View {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool any_size = false;
};

struct ConsoleState {
  bool set_up = false;
  View view;
  ConsoleChannel channel;
  int region_rows = 0;  // H0: the window's height when the text region was first used
  bool deferred_advance = false;
  int buffer_rows = 0;              // B at the last reading
  std::uint64_t scrolled_rows = 0;  // rows the contents have moved up since the reset
  bool resized = false;             // the screen was laid out afresh; not yet told
  bool drawn_since_resize = false;
  int width_before_resize = 0;
  // No console at set-up (standard output is a file or a pipe): the view stays degenerate for
  // good, since only drawing on a grid and a resize of one read it again.
  bool redirected = false;
};

ConsoleState g_state;

constexpr int kRunLimit = 1024;
constexpr int kFallbackWidth = 80;
constexpr int kFallbackHeight = 25;
constexpr std::uint16_t kFallbackAttribute = 7;

ScreenBuffer& screen() {
  static NoScreen absent;
  ScreenBuffer* installed = platform().screen;
  // cppcheck takes the conditional for a temporary; both arms are lasting objects.
  // cppcheck-suppress returnTempReference
  return installed != nullptr ? *installed : absent;
}

bool is_degenerate(const View& v) {
  return !v.any_size && (v.left == v.right || v.top == v.bottom);
}

View view_of(const ScreenInfo& info) {
  View v;
  v.left = 0;
  v.top = info.window_top;
  v.right = info.width - 1;
  v.bottom = info.window_bottom;
  v.any_size = info.any_size;
  return v;
}

void read_view() {
  ScreenInfo info;
  View v;
  if (screen().read_info(info)) {
    v = view_of(info);
    g_state.buffer_rows = info.height;
  }
  g_state.view = v;
}

void follow_resize();

const View& view() {
  console_setup();
  follow_resize();
  return g_state.view;
}

// A screen laid out afresh (or re-wrapped by its host) for a new window size: the geometry is
// read again and the new window's height becomes the text region, so that later output uses
// the whole window.
void follow_resize() {
  if (is_degenerate(g_state.view) || !screen().take_resize()) return;
  g_state.width_before_resize = g_state.view.right - g_state.view.left + 1;
  read_view();
  g_state.region_rows = 0;
  g_state.deferred_advance = false;
  g_state.channel.width = console_size().width;
  g_state.resized = true;
  g_state.drawn_since_resize = false;
}

// H0: the window's height when the region was first used, then at each write.
int region_rows() {
  const View& v = view();
  if (g_state.region_rows == 0) g_state.region_rows = v.bottom - v.top + 1;
  return g_state.region_rows;
}

// One console_write over the grid: the work area, the cursor, and the run of characters
// gathered since the last control byte.
class GridWriter {
 public:
  GridWriter();
  void carry_out_deferred_advance();
  void interpret(const unsigned char* bytes, std::size_t length);
  void finish();

 private:
  void add_char(unsigned char byte);
  void draw_run();
  void scroll(int n);
  void blank_rows(int first, int last);

  int left_, right_, rt_, rb_;
  int top_read_;  // the view's top when this write began
  int width_, height_, x_, y_;
  std::uint16_t attribute_;
  int logical_x_;  // the column the gathered run would leave the cursor in
  unsigned char run_[kRunLimit];
  int run_length_ = 0;
  bool ended_with_motion_ = false;  // the last byte other than a bell was 8, 10 or 13
};

// run_ is left unset: only its first run_length_ bytes are ever read, each written first.
// cppcheck-suppress uninitMemberVar
GridWriter::GridWriter() {
  view();
  // The view as it is now, and the region with it: a window resized since the last write is
  // drawn in whole at its new size, never set back to its old one, and no row of its output is
  // scrolled away inside a region shorter than it. A reading that fails, or that finds no
  // console, is left to the reading at the end.
  ScreenInfo info;
  const bool read = screen().read_info(info);
  if (read && !is_degenerate(view_of(info))) {
    g_state.view = view_of(info);
    g_state.buffer_rows = info.height;
    g_state.region_rows = g_state.view.bottom - g_state.view.top + 1;
  }
  const View& v = g_state.view;
  left_ = v.left;
  right_ = v.right;
  top_read_ = v.top;
  rt_ = v.top;
  rb_ = v.top + region_rows() - 1;
  if (read) {
    width_ = info.width;
    height_ = info.height;
    x_ = info.cursor_x;
    y_ = info.cursor_y;
    attribute_ = info.attribute;
  } else {
    width_ = kFallbackWidth;
    height_ = kFallbackHeight;
    x_ = left_;
    y_ = rt_;
    attribute_ = kFallbackAttribute;
  }
  logical_x_ = x_;
}

void GridWriter::carry_out_deferred_advance() {
  if (!g_state.deferred_advance) return;
  g_state.deferred_advance = false;
  x_ = left_;
  logical_x_ = x_;
  ++y_;
  if (y_ > rb_) scroll(y_ - rb_);
}

void GridWriter::interpret(const unsigned char* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char byte = bytes[i];
    if (byte == 7) {
      // The run goes on: what was gathered before the bell is drawn with what follows it.
      screen().beep();
      continue;
    }
    ended_with_motion_ = byte == 8 || byte == 10 || byte == 13;
    if (byte == 9) {
      const int offset = logical_x_ - left_;
      const int blanks = (offset + 8) / 8 * 8 - offset;
      for (int k = 0; k < blanks; ++k) add_char(' ');
      continue;
    }
    if (!ended_with_motion_) {
      add_char(byte);
      continue;
    }
    draw_run();
    if (byte == 8) {
      if (x_ > left_) --x_;
    } else {
      x_ = left_;
      if (byte == 10) ++y_;
    }
    logical_x_ = x_;
  }
  draw_run();
}

void GridWriter::add_char(unsigned char byte) {
  if (run_length_ == kRunLimit) draw_run();
  run_[run_length_++] = byte;
  logical_x_ = logical_x_ >= right_ ? left_ : logical_x_ + 1;
}

void GridWriter::draw_run() {
  const unsigned char* bytes = run_;
  int remaining = run_length_;
  run_length_ = 0;
  while (remaining > 0) {
    if (y_ > rb_) scroll(y_ - rb_);
    const int n = std::min(remaining, right_ - x_ + 1);
    if (n <= 0 || !screen().put_cells(x_, y_, bytes, n, attribute_)) break;
    bytes += n;
    remaining -= n;
    x_ += n;
    if (x_ == right_ + 1) {
      x_ = left_;
      ++y_;
    }
  }
  logical_x_ = x_;
}

void GridWriter::scroll(int n) {
  // Rows of the buffer below the window are used first; the window follows in finish().
  const int k = std::max(0, std::min(n, height_ - 1 - rb_));
  rt_ += k;
  rb_ += k;
  n -= k;
  if (n >= height_) {
    blank_rows(rt_, rb_);
  } else if (n > 0) {
    // The window is at the buffer's last row: line feeds move the buffer up, so that a host
    // with a terminal's scrollback (a pseudo console) keeps the rows that leave.
    screen().feed_lines(width_, height_, n, attribute_);
  }
  g_state.scrolled_rows += static_cast<std::uint64_t>(n);
  y_ = rb_;
}

// Not const although no member changes: it draws on the screen the writer stands for.
// NOLINTNEXTLINE(readability-make-member-function-const)
void GridWriter::blank_rows(int first, int last) {
  for (int row = first; row <= last; ++row) screen().blank_row(row, left_, right_, attribute_);
}

void GridWriter::finish() {
  if (ended_with_motion_ && y_ > rb_) scroll(y_ - rb_);
  if (x_ == left_ && y_ == rb_ + 1) {
    // The text ended in the region's last cell: the advance waits for the next output, so
    // that a full last row does not scroll away an empty line.
    g_state.deferred_advance = true;
    x_ = right_;
    y_ = rb_;
  } else if (y_ > rb_) {
    scroll(y_ - rb_);
  }
  screen().set_cursor(x_, y_);
  // The window moved down through rows the buffer has below it, at its size of now; a buffer
  // as tall as its window never moves it.
  if (rt_ != top_read_) screen().set_window(left_, rt_, right_, rb_);
  read_view();
}

}  // namespace

void console_setup() {
  if (g_state.set_up) return;
  g_state.set_up = true;
  if (platform().keys != nullptr) platform().keys->setup();
  read_view();
  g_state.redirected = is_degenerate(g_state.view);
  const CursorCell cursor = cursor_position();
  g_state.channel.column = cursor.col > 0 ? static_cast<std::uint32_t>(cursor.col - 1) : 0;
  g_state.channel.width = console_size().width;
}

ConsoleChannel& console_channel() {
  return g_state.channel;
}

void console_write(const unsigned char* bytes, std::size_t length, Settle settle) {
  if (length == 0 && settle == Settle::kNo) return;
  console_setup();
  if (console_is_degenerate()) {
    if (length > 0) stdout_write(bytes, length);
    return;
  }
  GridWriter writer;
  if (length > 0) g_state.drawn_since_resize = true;
  writer.carry_out_deferred_advance();
  writer.interpret(bytes, length);
  writer.finish();
}

void console_flush() {
  if (!is_degenerate(view())) screen().flush();
}

void clear_screen(std::uint32_t mode) {
  const View v = view();
  if (v.left != v.right && mode != kClearNothing && v.top != v.bottom) {
    const bool region = mode == kClearDefault || mode == kClearRegion;
    const int first = v.top;
    const int last = region ? v.top + region_rows() - 1 : v.bottom;
    ScreenInfo info;
    const std::uint16_t attribute = screen().read_info(info) ? info.attribute : kFallbackAttribute;
    for (int row = last; row >= first; --row) screen().blank_row(row, v.left, v.right, attribute);
    screen().set_cursor(v.left, first);
    g_state.deferred_advance = false;
  }
  g_state.channel.column = 0;
}

ConsoleSize console_size() {
  const View& v = view();
  if (is_degenerate(v)) return {kFallbackWidth, kFallbackHeight};
  return {v.right - v.left + 1, v.bottom - v.top + 1};
}

CursorCell cursor_position() {
  const View& v = view();
  ScreenInfo info;
  if (!screen().read_info(info)) return {0, 0};
  return {info.cursor_x + 1, info.cursor_y - v.top + 1};
}

LocateResult locate(int row, int col, CursorVisibility visibility) {
  const View v = view();
  const int width = v.right - v.left + 1;
  const bool row_refused = row != kKeepCoordinate && (row < 1 || row > region_rows());
  const bool col_refused = col != kKeepCoordinate && (col < 1 || col > width);
  if (row_refused || col_refused) {
    row = kKeepCoordinate;
    col = kKeepCoordinate;
  }
  g_state.deferred_advance = false;
  LocateResult result;
  result.was_visible = screen().cursor_visible();
  ScreenInfo info;
  if (screen().read_info(info)) {
    const int x = col != kKeepCoordinate ? v.left + col - 1 : info.cursor_x;
    const int y = row != kKeepCoordinate ? v.top + row - 1 : info.cursor_y;
    if (row != kKeepCoordinate || col != kKeepCoordinate) screen().set_cursor(x, y);
    result.col = x - v.left + 1;
    result.row = y - v.top + 1;
  }
  if (col >= 1) g_state.channel.column = static_cast<std::uint32_t>(col - 1);
  if (visibility != CursorVisibility::kKeep) {
    screen().set_cursor_visible(visibility == CursorVisibility::kShow);
  }
  return result;
}

bool show_cursor(bool shown) {
  const auto visibility = shown ? CursorVisibility::kShow : CursorVisibility::kHide;
  return locate(kKeepCoordinate, kKeepCoordinate, visibility).was_visible;
}

namespace {

// After a host re-wrapped its rows, with the cursor on its character: the rest of the line
// being edited (`rest` cells after the cursor) lies below it in pieces, each of its rows of the
// old width now up to ceil(old / new) rows. Nothing is drawn below that line, so those rows are
// blanked; then a line end takes the cursor to the row after its own, unless it stands at the
// start of a row with nothing after it.
void leave_rewrapped_line(std::size_t rest) {
  ScreenInfo info;
  if (!screen().read_info(info) || (info.cursor_x == 0 && rest == 0)) return;
  const long long before = std::max(1, g_state.width_before_resize);
  const long long now = std::max(1, info.width);
  const long long rows = (static_cast<long long>(rest) / before + 2) * ((before + now - 1) / now);
  const long long last = std::min<long long>(info.height - 1, info.cursor_y + rows);
  for (long long y = info.cursor_y + 1; y <= last; ++y) {
    screen().blank_row(static_cast<int>(y), 0, info.width - 1, info.attribute);
  }
  const unsigned char line_end[2] = {13, 10};
  console_write(line_end, 2);
}

}  // namespace

bool console_take_resize(std::size_t rest) {
  view();
  if (!g_state.resized) return false;
  g_state.resized = false;
  if (screen().rewraps_on_resize()) {
    leave_rewrapped_line(rest);
  } else if (g_state.drawn_since_resize) {
    const unsigned char line_end[2] = {13, 10};
    console_write(line_end, 2);
  }
  g_state.channel.column = 0;
  return true;
}

ConsoleGrid console_grid() {
  const View& v = view();
  ScreenInfo info;
  if (is_degenerate(v) || !screen().read_info(info)) {
    return {kFallbackWidth, kFallbackHeight, 0, 0, 0, kFallbackHeight - 1};
  }
  return {info.width,    info.height,     info.cursor_x,
          info.cursor_y, info.window_top, info.window_bottom};
}

namespace {

// The first row of a window of the view's height that shows row y, moved the least.
int window_top_showing(const View& v, int y) {
  const int rows = v.bottom - v.top + 1;
  if (y < v.top) return y;
  if (y > v.top + rows - 1) return y - rows + 1;
  return v.top;
}

}  // namespace

bool place_cursor(int x, int y) {
  const View& v = view();
  if (is_degenerate(v) || x < v.left || x > v.right || y < 0 || y >= g_state.buffer_rows) {
    return false;
  }
  g_state.deferred_advance = false;
  screen().set_cursor(x, y);
  if (window_top_showing(v, y) == v.top) return true;
  // The window moves only at its size of now (a window resized since the last reading would
  // otherwise be set back to its old size), and only within a buffer taller than it.
  read_view();
  const View& now = g_state.view;
  const int top = window_top_showing(now, y);
  const int rows = now.bottom - now.top + 1;
  if (!is_degenerate(now) && top != now.top && rows < g_state.buffer_rows) {
    screen().set_window(now.left, top, now.right, top + rows - 1);
    read_view();
  }
  return true;
}

std::uint64_t console_scrolled_rows() {
  return g_state.scrolled_rows;
}

bool console_is_degenerate() {
  return g_state.set_up && (g_state.redirected || is_degenerate(g_state.view));
}

void reset_console_state() {
  g_state = ConsoleState{};
}

}  // namespace zepa
