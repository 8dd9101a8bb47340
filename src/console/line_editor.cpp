#include "console/line_editor.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "console/console_writer.h"
#include "console/key_codes.h"
#include "console/keyboard.h"
#include "platform/platform.h"

namespace zepa {

namespace {

constexpr int kWaitMs = 25;

void draw(std::string_view bytes) {
  console_write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// The line being edited and where it stands: byte i of the line is on the i-th cell after the
// anchor, reading the buffer as one line of W-cell rows. The anchor is an absolute buffer cell;
// it moves up with the contents when writing scrolls them, and may then lie above the buffer.
class Editor {
 public:
  explicit Editor(std::string_view shown) : shown_(shown) { take_anchor(); }

  void act(KeyCode code);
  void finish() { place(buffer_.size()); }
  // After a resize: what stood before the line, then the line, from the fresh row.
  void show_again() {
    show_cursor(false);
    draw(shown_);
    take_anchor();
    write_at(0, buffer_);
    place(pos_);
  }
  std::string take() { return std::move(buffer_); }
  // The cells of the line after the cursor.
  std::size_t rest() const { return buffer_.size() - pos_; }

 private:
  struct Cell {
    int x;
    int y;
  };

  void take_anchor() {
    const ConsoleGrid grid = console_grid();
    width_ = grid.width;
    height_ = grid.height;
    anchor_x_ = grid.cursor_x;
    anchor_y_ = grid.cursor_y;
  }
  // Counted in 64 bits: a tall buffer's cells and a long line's bytes can pass 2^31 together.
  Cell cell_of(std::size_t i) const {
    const std::int64_t k =
        std::int64_t{anchor_y_} * width_ + anchor_x_ + static_cast<std::int64_t>(i);
    std::int64_t q = k / width_;
    std::int64_t r = k % width_;
    if (r < 0) {
      r += width_;
      --q;
    }
    return {static_cast<int>(r), static_cast<int>(q)};
  }
  // The cursor on byte i's cell. The cell after the buffer's last one does not exist yet: a
  // line end from the last cell scrolls it into the buffer. A cell scrolled out above the
  // buffer cannot be shown; the cursor stays.
  void place(std::size_t i) {
    const Cell cell = cell_of(i);
    if (cell.y == height_ && cell.x == 0) {
      place_cursor(width_ - 1, height_ - 1);
      follow_write("\r\n");
      return;
    }
    if (cell.y >= 0 && cell.y < height_) {
      place_cursor(cell.x, cell.y);
    }
  }
  // Writes at the cursor; the anchor follows what the write scrolled.
  void follow_write(std::string_view bytes) {
    const std::uint64_t before = console_scrolled_rows();
    draw(bytes);
    anchor_y_ -= static_cast<int>(console_scrolled_rows() - before);
  }
  void write_at(std::size_t i, std::string_view bytes) {
    place(i);
    follow_write(bytes);
  }
  void insert(std::string_view bytes);
  void remove(std::size_t n);
  void beep() {
    if (platform().screen != nullptr) platform().screen->beep();
  }

  std::string shown_;
  std::string buffer_;
  std::size_t pos_ = 0;
  int width_ = 80;
  int height_ = 25;
  int anchor_x_ = 0;
  int anchor_y_ = 0;
};

void Editor::insert(std::string_view bytes) {
  show_cursor(false);
  buffer_.insert(pos_, bytes);
  // Only the tail from the insertion on is redrawn; an append writes just the new bytes.
  write_at(pos_, std::string_view(buffer_).substr(pos_));
  pos_ += bytes.size();
  place(pos_);
}

void Editor::remove(std::size_t n) {
  show_cursor(false);
  buffer_.erase(pos_, n);
  // The tail moves left; n blanks clear the cells the line no longer covers.
  std::string redraw(buffer_, pos_);
  redraw.append(n, ' ');
  write_at(pos_, redraw);
  place(pos_);
}

void Editor::act(KeyCode code) {
  const std::size_t len = buffer_.size();
  const auto width = static_cast<std::size_t>(width_);
  switch (code) {
    case kKeyBackspace:
      if (pos_ > 0) {
        --pos_;
        remove(1);
      }
      break;
    case kKeyTab:
      insert(std::string(8 - pos_ % 8, ' '));
      break;
    case kKeyEsc:
      pos_ = 0;
      if (len > 0) {
        remove(len);
      } else {
        place(0);
      }
      break;
    case kKeyHome:
      pos_ = 0;
      place(pos_);
      break;
    case kKeyEnd:
      pos_ = len;
      place(pos_);
      break;
    case kKeyLeft:
      if (pos_ > 0) place(--pos_);
      break;
    case kKeyRight:
      if (pos_ < len) place(++pos_);
      break;
    case kKeyUp:
      if (pos_ >= width) {
        pos_ -= width;
        place(pos_);
      }
      break;
    case kKeyDown:
      if (pos_ + width <= len) {
        pos_ += width;
        place(pos_);
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

bool edit_line(std::string& line, std::string_view shown) {
  Editor editor(shown);
  const bool was_visible = show_cursor(true);
  // A resize (SIGWINCH, or Ctrl+Z and fg to a new size; a new buffer size among a console's
  // key events) is taken here, between keys, never where the signal came: a signal ends the
  // wait for a key as a key does.
  auto follow_resize = [&editor] {
    if (!console_take_resize(editor.rest())) return;
    editor.show_again();
    show_cursor(true);
  };
  for (;;) {
    follow_resize();
    while (!key_available()) {
      if (!wait_for_key(kWaitMs)) {
        line = editor.take();
        return false;
      }
      follow_resize();
    }
    const KeyCode code = take_key();
    if (code == kNoKey) continue;
    editor.act(code);
    show_cursor(true);
    if (code == kKeyEnter || code == kKeyLineFeed) break;
  }
  editor.finish();
  show_cursor(was_visible);
  line = editor.take();
  return true;
}

}  // namespace zepa
