#include "platform/terminal_grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zepa {
namespace {

using Rows = std::vector<std::string>;

void put(TerminalGrid& grid, int x, int y, const std::string& text) {
  grid.put_cells(x, y, reinterpret_cast<const unsigned char*>(text.data()),
                 static_cast<int>(text.size()), 7);
}

Rows rows(const TerminalGrid& grid, int first, int count) {
  Rows result;
  for (int y = first; y < first + count; ++y) result.push_back(grid.row(y));
  return result;
}

// A buffer of 6 rows of 4 columns with a window of 2 rows at its bottom (rows 4 and 5).
TerminalGrid small_grid() {
  TerminalGrid grid(6, Charset::kUtf8);
  grid.lay_out(4, 2);
  bool hidden = false;
  grid.compose(hidden);
  return grid;
}

TEST(TerminalGrid, WhatIsSentForEachChange) {
  struct Case {
    const char* what;
    void (*change)(TerminalGrid&);
    std::string sent;
  };
  const Case cases[] = {
      {"cells in the window: a move, then the bytes; the cursor placed after them",
       [](TerminalGrid& g) { put(g, 1, 5, "ab"); }, "\x1b[2;2Hab\x1b[1;1H"},
      {"cells above the window go to the copy only", [](TerminalGrid& g) { put(g, 0, 1, "zz"); },
       ""},
      {"a row blanked to the right edge is erased, not written",
       [](TerminalGrid& g) { g.blank_row(4, 1, 3, 7); }, "\x1b[1;2H\x1b[K\x1b[1;1H"},
      {"a scroll of the whole buffer at its bottom is line feeds on the bottom row",
       [](TerminalGrid& g) { g.scroll_up(0, 0, 3, 5, 3, 7); }, "\x1b[2;1H\n\n\x1b[1;1H"},
      {"the bell rings as often as it was asked for, as the console's beeps do",
       [](TerminalGrid& g) { g.beep(), g.beep(); }, "\a\a"},
      {"a hidden cursor is hidden once; the cursor has not moved",
       [](TerminalGrid& g) { g.set_cursor_visible(false); }, "\x1b[?25l"},
      {"a cursor above the window takes the window up: painted whole, trailing blanks erased",
       [](TerminalGrid& g) {
         put(g, 0, 2, "abcd");
         put(g, 0, 3, "e");
         g.set_cursor(1, 2);
       },
       "\x1b[?25l\x1b[1;1Habcd\x1b[2;1He\x1b[K\x1b[1;2H\x1b[?25h"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalGrid grid = small_grid();
    grid.set_cursor(0, 4);
    bool hidden = false;
    grid.compose(hidden);
    c.change(grid);
    EXPECT_EQ(grid.compose(hidden), c.sent);
  }
}

TEST(TerminalGrid, CellsAreDrawnInTheLocaleWhateverTheSize) {
  // The banner's letter 0xE3 and a control byte, on a terminal of one cell.
  struct Case {
    Charset charset;
    std::string sent;
  };
  const Case cases[] = {
      {Charset::kUtf8, "\x1b[1;1H\xC3\xA3"},
      {Charset::kLatin1, "\x1b[1;1H\xE3"},
      {Charset::kAscii, "\x1b[1;1H?"},
  };
  for (const Case& c : cases) {
    TerminalGrid grid(3, c.charset);
    grid.lay_out(1, 1);
    put(grid, 0, 2, "\xE3");
    bool hidden = false;
    EXPECT_EQ(grid.compose(hidden).substr(0, c.sent.size()), c.sent);
  }
}

TEST(TerminalGrid, LaidOutAgainAtANewSize) {
  struct Case {
    const char* what;
    int cursor_x;
    int cursor_y;
    int cols;
    Rows copy;  // the buffer's 6 rows afterwards
  };
  // Before: rows 2..5 hold "ab", "cdef", "gh", "" (4 columns); the window is rows 4 and 5.
  const Case cases[] = {
      {"narrower: rows down to the cursor's cut, then a fresh row",
       2,
       4,
       3,
       {"   ", "   ", "ab ", "cde", "gh ", "   "}},
      {"wider: rows filled out with blanks",
       2,
       4,
       5,
       {"     ", "     ", "ab   ", "cdef ", "gh   ", "     "}},
      {"a cursor at the start of a blank row keeps it as the fresh one",
       0,
       5,
       4,
       {"    ", "    ", "ab  ", "cdef", "gh  ", "    "}},
      {"rows that no longer fit above the buffer's top are dropped",
       1,
       2,
       4,
       {"    ", "    ", "    ", "    ", "ab  ", "    "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalGrid grid = small_grid();
    put(grid, 0, 2, "ab");
    put(grid, 0, 3, "cdef");
    put(grid, 0, 4, "gh");
    grid.set_cursor(c.cursor_x, c.cursor_y);
    grid.lay_out_again(c.cols, 3);
    EXPECT_EQ(rows(grid, 0, 6), c.copy);
    ScreenInfo info;
    ASSERT_TRUE(grid.read_info(info));
    EXPECT_EQ(info.width, c.cols);
    EXPECT_EQ(info.cursor_x, 0);
    EXPECT_EQ(info.cursor_y, 5);
    EXPECT_EQ(info.window_top, 3);
    EXPECT_EQ(info.window_bottom, 5);
    EXPECT_TRUE(info.any_size);
    // The new window is painted whole, the cursor on the fresh row.
    bool hidden = false;
    const std::string sent = grid.compose(hidden);
    EXPECT_EQ(sent.substr(0, 6), "\x1b[?25l");
    EXPECT_NE(sent.find("\x1b[3;1H"), std::string::npos);
    EXPECT_EQ(sent.substr(sent.size() - 6), "\x1b[?25h");
  }
}

TEST(TerminalGrid, RepaintAfterAStopAndScrollsAwayFromTheBottom) {
  // After a stop the window is painted from the copy; a full row is not followed by an erase
  // (the terminal waits to wrap there, and would erase the last cell).
  TerminalGrid grid = small_grid();
  put(grid, 0, 4, "wxyz");
  grid.set_cursor(0, 5);
  bool hidden = false;
  grid.compose(hidden);
  grid.repaint();
  EXPECT_EQ(grid.compose(hidden), "\x1b[?25l\x1b[1;1Hwxyz\x1b[2;1H\x1b[K\x1b[2;1H\x1b[?25h");

  // With the window moved up, a scroll of the buffer cannot be line feeds: painted whole.
  grid.set_window(0, 2, 3, 3);
  grid.set_cursor(0, 2);
  grid.compose(hidden);
  grid.scroll_up(0, 0, 3, 5, 1, 7);
  EXPECT_EQ(grid.compose(hidden), "\x1b[?25l\x1b[1;1H\x1b[K\x1b[2;1Hwxyz\x1b[1;1H\x1b[?25h");
}

TEST(TerminalGrid, TheCopyStaysWithinItsCellsWhateverTheWidth) {
  // Room for 24 cells: 6 rows of 4 columns, but only 2 rows of 12; a terminal 3 rows tall
  // then shows the copy's 2 rows from its top, and a scroll there is painted, not sent as a
  // line feed (which scrolls only on the terminal's own bottom row).
  TerminalGrid grid(6, Charset::kUtf8, 24);
  grid.lay_out(4, 2);
  ScreenInfo info;
  ASSERT_TRUE(grid.read_info(info));
  EXPECT_EQ((std::vector<int>{info.width, info.height, info.window_top, info.window_bottom}),
            (std::vector<int>{4, 6, 4, 5}));
  grid.lay_out(12, 3);
  ASSERT_TRUE(grid.read_info(info));
  EXPECT_EQ((std::vector<int>{info.width, info.height, info.window_top, info.window_bottom}),
            (std::vector<int>{12, 2, 0, 1}));
  EXPECT_EQ(grid.terminal_rows(), 3);
  bool hidden = false;
  grid.compose(hidden);
  put(grid, 0, 1, "x");
  grid.scroll_up(0, 0, 11, 1, 1, 7);
  EXPECT_EQ(grid.compose(hidden), "\x1b[?25l\x1b[1;1Hx\x1b[K\x1b[2;1H\x1b[K\x1b[1;1H\x1b[?25h");

  // A terminal wider than the cells allow still gets one row, and one of 65,535 columns keeps
  // its coordinates.
  TerminalGrid wide(9001, Charset::kAscii, 24);
  wide.lay_out(65535, 50);
  ASSERT_TRUE(wide.read_info(info));
  EXPECT_EQ((std::vector<int>{info.width, info.height, info.window_top, info.window_bottom}),
            (std::vector<int>{65535, 1, 0, 0}));
}

}  // namespace
}  // namespace zepa
