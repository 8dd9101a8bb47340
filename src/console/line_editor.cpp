#include "console/line_editor.h"

#include <climits>
#include <string>
#include <string_view>

#include "console/console_writer.h"
#include "console/key_codes.h"
#include "console/keyboard.h"
#include "platform/platform.h"
#include "sys/lifecycle.h"

namespace zepa {

namespace {

constexpr int kWaitMs = 25;
constexpr auto kShow = CursorVisibility::kShow;
constexpr auto kHide = CursorVisibility::kHide;
constexpr auto kKeepVisibility = CursorVisibility::kKeep;

struct Cell {
  long long col;
  long long row;
};

// A cell coordinate for locate. Row or column 0 is a cell outside the view here, not locate's
// kKeepCoordinate, so it becomes -1, which locate refuses like any other outside cell.
int coordinate(long long value) {
  return value >= 1 && value <= INT_MAX ? static_cast<int>(value) : -1;
}

void write_bytes(const char* bytes, std::size_t length) {
  console_write(reinterpret_cast<const unsigned char*>(bytes), length);
}

KeyCode code_of(const std::string& text) {
  if (text.size() == 2) return static_cast<unsigned char>(text[1]) * 256 + 0xFF;
  return static_cast<unsigned char>(text[0]);
}

// The line being edited and the cursor cell that shows its position.
class Editor {
 public:
  Editor() {
    const ConsoleSize size = console_size();
    width_ = size.width;
    height_ = size.height;
  }

  void read_cursor() {
    const CursorCell cursor = cursor_position();
    col_ = cursor.col;
    row_ = cursor.row;
  }
  void act(KeyCode code);
  void finish() {
    read_cursor();
    move_by(static_cast<long long>(buffer_.size() - pos_));
  }
  std::string take() { return std::move(buffer_); }

 private:
  // The cell n cells after (col, row), reading the view as one line of W-cell rows; cells
  // before the view's top land on rows 0 and below.
  Cell cell_after(long long col, long long row, long long n) const {
    const long long k = (row - 1) * width_ + (col - 1) + n;
    long long q = k / width_;
    long long r = k % width_;
    if (r < 0) {
      r += width_;
      --q;
    }
    return {r + 1, q + 1};
  }
  void move_by(long long n);
  void insert(std::string_view bytes);
  void remove(std::size_t n);
  void beep() {
    if (platform().screen != nullptr) platform().screen->beep();
  }

  std::string buffer_;
  std::size_t pos_ = 0;
  long long width_;
  long long height_;
  long long col_ = 0;
  long long row_ = 0;
};

void Editor::move_by(long long n) {
  const Cell cell = cell_after(col_, row_, n);
  col_ = cell.col;
  row_ = cell.row;
  if (row_ == height_ + 1 && col_ == 1) {
    // The cell after the view's last one does not exist yet: a line end scrolls it into view.
    locate(coordinate(height_), coordinate(width_), kKeepVisibility);
    write_bytes("\r\n", 2);
    return;
  }
  locate(coordinate(row_), coordinate(col_), kKeepVisibility);
}

void Editor::insert(std::string_view bytes) {
  locate(kKeepCoordinate, kKeepCoordinate, kHide);
  const std::size_t len = buffer_.size();
  const std::size_t n = bytes.size();
  buffer_.insert(pos_, bytes);
  // Only the tail from the insertion on is redrawn; an append writes just the new bytes.
  write_bytes(buffer_.data() + pos_, buffer_.size() - pos_);
  const long long tail = static_cast<long long>(len - pos_);
  if (pos_ != len) {
    const Cell end = cell_after(col_, row_, tail + static_cast<long long>(n));
    if (end.row > height_ + 1 || (end.row == height_ + 1 && end.col > 1)) {
      // The write scrolled the view: the cursor is where the write ended.
      read_cursor();
      move_by(-tail);
      pos_ += n;
      return;
    }
  }
  move_by(static_cast<long long>(n));
  pos_ += n;
}

void Editor::remove(std::size_t n) {
  locate(kKeepCoordinate, kKeepCoordinate, kHide);
  buffer_.erase(pos_, n);
  // The tail moves left; n blanks clear the cells the line no longer covers.
  std::string redraw(buffer_, pos_);
  redraw.append(n, ' ');
  write_bytes(redraw.data(), redraw.size());
  locate(coordinate(row_), coordinate(col_), kKeepVisibility);
}

void Editor::act(KeyCode code) {
  const std::size_t len = buffer_.size();
  const auto width = static_cast<std::size_t>(width_);
  switch (code) {
    case kKeyBackspace:
      if (pos_ > 0) {
        move_by(-1);
        --pos_;
        remove(1);
      }
      break;
    case kKeyTab:
      insert(std::string(8 - pos_ % 8, ' '));
      break;
    case kKeyEsc:
      move_by(-static_cast<long long>(pos_));
      pos_ = 0;
      if (len > 0) remove(len);
      break;
    case kKeyHome:
      move_by(-static_cast<long long>(pos_));
      pos_ = 0;
      break;
    case kKeyEnd:
      move_by(static_cast<long long>(len - pos_));
      pos_ = len;
      break;
    case kKeyLeft:
      if (pos_ > 0) {
        --pos_;
        move_by(-1);
      }
      break;
    case kKeyRight:
      if (pos_ < len) {
        ++pos_;
        move_by(1);
      }
      break;
    case kKeyUp:
      if (pos_ >= width) {
        move_by(-width_);
        pos_ -= width;
      }
      break;
    case kKeyDown:
      if (pos_ + width <= len) {
        move_by(width_);
        pos_ += width;
      }
      break;
    case kKeyDelete:
      if (pos_ < len) {
        remove(1);
      } else {
        beep();
      }
      break;
    case kKeyNoByte:
      beep();  // a character the line cannot hold is refused, not dropped unheard
      break;
    default:
      if (code >= 32 && code <= 255) insert(std::string(1, static_cast<char>(code)));
      break;
  }
}

}  // namespace

std::string edit_line() {
  Editor editor;
  const bool was_visible = locate(kKeepCoordinate, kKeepCoordinate, kShow).was_visible;
  for (;;) {
    editor.read_cursor();
    while (!key_available()) {
      // A console whose input cannot be read can never end the line.
      if (!wait_for_key(kWaitMs)) end_program(1);
    }
    const std::string text = read_key();
    if (text.empty()) continue;
    const KeyCode code = code_of(text);
    editor.act(code);
    locate(kKeepCoordinate, kKeepCoordinate, kShow);
    if (code == kKeyEnter || code == kKeyLineFeed) break;
  }
  editor.finish();
  locate(kKeepCoordinate, kKeepCoordinate, was_visible ? kShow : kHide);
  return editor.take();
}

}  // namespace zepa
