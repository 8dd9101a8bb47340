#include "support/memory_screen.h"

#include <algorithm>

namespace zepa::testing {

MemoryScreen::MemoryScreen(int w, int h, int window_rows, char fill)
    : width(w),
      height(h),
      window_bottom((window_rows > 0 ? window_rows : h) - 1),
      bytes_(static_cast<std::size_t>(w * h), static_cast<unsigned char>(fill)),
      attributes_(static_cast<std::size_t>(w * h), 7) {}

bool MemoryScreen::read_info(ScreenInfo& info) {
  ++reads;
  if (fail_reads) return false;
  info.width = width;
  info.height = height;
  info.cursor_x = cursor_x;
  info.cursor_y = cursor_y;
  info.attribute = attribute;
  info.window_top = window_top;
  info.window_bottom = window_bottom;
  info.any_size = any_size;
  return true;
}

bool MemoryScreen::put_cells(int x, int y, const unsigned char* bytes, int count,
                             std::uint16_t attr) {
  ++put_calls;
  if (refuse_cells || count <= 0 || !inside(x, y) || x + count > width) return false;
  const std::size_t at = static_cast<std::size_t>(y * width + x);
  std::copy(bytes, bytes + count, bytes_.begin() + static_cast<long>(at));
  std::fill_n(attributes_.begin() + static_cast<long>(at), count, attr);
  cells_written += count;
  return true;
}

void MemoryScreen::scroll_up(int left, int top, int right, int bottom, int n, std::uint16_t attr) {
  ++scrolls;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const std::size_t to = static_cast<std::size_t>(y * width + x);
      if (y + n <= bottom) {
        const std::size_t from = to + static_cast<std::size_t>(n * width);
        bytes_[to] = bytes_[from];
        attributes_[to] = attributes_[from];
      } else {
        bytes_[to] = ' ';
        attributes_[to] = attr;
      }
    }
  }
}

void MemoryScreen::feed_lines(int w, int h, int n, std::uint16_t attr) {
  if (host == Host::kPseudoConsole) {
    for (int y = 0; y < std::min(n, h); ++y) scrollback.push_back(row(y));
  }
  ScreenBuffer::feed_lines(w, h, n, attr);
}

void MemoryScreen::blank_row(int y, int left, int right, std::uint16_t attr) {
  for (int x = left; x <= right; ++x) {
    if (!inside(x, y)) continue;
    bytes_[static_cast<std::size_t>(y * width + x)] = ' ';
    attributes_[static_cast<std::size_t>(y * width + x)] = attr;
  }
}

void MemoryScreen::set_cursor(int x, int y) {
  if (!inside(x, y)) return;
  cursor_x = x;
  cursor_y = y;
}

void MemoryScreen::set_window(int left, int top, int right, int bottom) {
  if (host == Host::kPseudoConsole) {
    // ConPTY makes the buffer the rectangle's size: a window set at an old size corrupts the
    // screen the terminal and ConPTY share.
    if (right - left + 1 == width && bottom - top + 1 == height) return;
    ++window_moves;
    reshape(right - left + 1, bottom - top + 1, rows(0, height));
    return;
  }
  if (left != 0 || right != width - 1 || top < 0 || bottom >= height || top > bottom) return;
  if (top != window_top || bottom != window_bottom) ++window_moves;
  window_top = top;
  window_bottom = bottom;
}

void MemoryScreen::reshape(int w, int h, const std::vector<std::string>& kept) {
  width = w;
  height = h;
  bytes_.assign(static_cast<std::size_t>(w * h), ' ');
  attributes_.assign(static_cast<std::size_t>(w * h), attribute);
  for (int y = 0; y < h && y < static_cast<int>(kept.size()); ++y) {
    draw(0, y, kept[static_cast<std::size_t>(y)].substr(0, static_cast<std::size_t>(w)));
  }
  window_top = 0;
  window_bottom = h - 1;
  cursor_x = std::min(cursor_x, w - 1);
  cursor_y = std::min(cursor_y, h - 1);
}

void MemoryScreen::resize_window(int w, int h) {
  const int old_width = width;
  int last = height - 1;
  while (last > cursor_y && row(last).find_first_not_of(' ') == std::string::npos) --last;
  std::vector<std::string> cut;
  int new_x = 0;
  int new_y = 0;
  for (int y = 0; y <= last; ++y) {
    const std::string text = row(y);
    const std::size_t end = text.find_last_not_of(' ');
    std::size_t length = end == std::string::npos ? 0 : end + 1;
    if (y == cursor_y) {
      length = std::max(length, static_cast<std::size_t>(cursor_x) + 1);
      new_y = static_cast<int>(cut.size()) + cursor_x / w;
      new_x = cursor_x % w;
    }
    const std::size_t pieces = std::max<std::size_t>(1, (length + w - 1) / w);
    for (std::size_t p = 0; p < pieces; ++p) {
      std::string piece = text.substr(std::min(text.size(), p * w), static_cast<std::size_t>(w));
      piece.resize(static_cast<std::size_t>(w), ' ');
      cut.push_back(piece);
    }
  }
  const int rows_kept = host == Host::kPseudoConsole ? h : height;
  const int dropped = std::max(0, static_cast<int>(cut.size()) - rows_kept);
  for (int y = 0; y < dropped; ++y) {
    if (host == Host::kPseudoConsole) scrollback.push_back(cut[static_cast<std::size_t>(y)]);
  }
  cut.erase(cut.begin(), cut.begin() + dropped);
  const int old_top = window_top;
  reshape(w, rows_kept, cut);
  cursor_x = new_x;
  cursor_y = new_y - dropped;
  if (host == Host::kClassic) {
    int top = std::clamp(old_top, 0, height - h);
    if (cursor_y < top) top = cursor_y;
    if (cursor_y > top + h - 1) top = cursor_y - h + 1;
    window_top = top;
    window_bottom = top + h - 1;
  }
  resized = host == Host::kPseudoConsole || w != old_width;
}

void MemoryScreen::lay_out_again(int w, int h) {
  width = w;
  height = h;
  bytes_.assign(static_cast<std::size_t>(w * h), ' ');
  attributes_.assign(static_cast<std::size_t>(w * h), attribute);
  window_top = 0;
  window_bottom = h - 1;
  cursor_x = 0;
  cursor_y = h - 1;
  resized = true;
}

std::string MemoryScreen::row(int y) const {
  const auto* start = bytes_.data() + y * width;
  return std::string(start, start + width);
}

std::uint16_t MemoryScreen::attribute_at(int x, int y) const {
  return attributes_[static_cast<std::size_t>(y * width + x)];
}

std::vector<std::string> MemoryScreen::rows(int first, int count) const {
  std::vector<std::string> result;
  for (int y = first; y < first + count; ++y) result.push_back(row(y));
  return result;
}

std::vector<std::string> MemoryScreen::window() const {
  return rows(window_top, window_bottom - window_top + 1);
}

std::vector<std::string> MemoryScreen::history() const {
  return host == Host::kPseudoConsole ? scrollback : rows(0, window_top);
}

void MemoryScreen::draw(int x, int y, const std::string& text) {
  std::copy(text.begin(), text.end(), bytes_.begin() + y * width + x);
}

}  // namespace zepa::testing
