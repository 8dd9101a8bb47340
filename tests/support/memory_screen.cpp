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
  if (left != 0 || right != width - 1 || top < 0 || bottom >= height || top > bottom) return;
  window_top = top;
  window_bottom = bottom;
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

void MemoryScreen::draw(int x, int y, const std::string& text) {
  std::copy(text.begin(), text.end(), bytes_.begin() + y * width + x);
}

}  // namespace zepa::testing
