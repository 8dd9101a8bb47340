#include "console/console_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/print.h"
#include "support/scripted_keys.h"
#include "sys/std_streams.h"

namespace zepa {
namespace {

using testing::ConsoleRig;
using testing::MemoryScreen;
using Rows = std::vector<std::string>;

void write(std::string_view text) {
  console_write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(ConsoleWriter, ControlBytesWrappingAndTheLastCell) {
  struct Case {
    std::string text;
    int width;
    Rows rows;  // the whole screen, 3 rows, afterwards ('.' never written)
    int x, y;
    int beeps = 0;
  };
  const Case cases[] = {
      // Exactly W bytes then a line end: the wrap already moved on, the line end adds a row.
      {"abcdefghij\r\n", 10, {"abcdefghij", "..........", ".........."}, 0, 2},
      {"ab\ncd", 10, {"ab........", "cd........", ".........."}, 2, 1},  // LF returns to the edge
      {"abc\rX", 10, {"Xbc.......", "..........", ".........."}, 1, 0},
      // Backspace at the edge does nothing and never erases.
      {"\bA\bB\bc\b", 10, {"c.........", "..........", ".........."}, 0, 0},
      {"abcde\tX", 10, {"abcde   X.", "..........", ".........."}, 9, 0},  // tab at 5: 3 blanks
      // Tab blanks are characters: from x = 8 they wrap onto the next row; on a wider screen
      // they are 8.
      {"abcdefgh\tX", 10, {"abcdefgh  ", "      X...", ".........."}, 7, 1},
      {"abcdefgh\tX",
       20,
       {"abcdefgh        X...", std::string(20, '.'), std::string(20, '.')},
       17,
       0},
      {"a\ab\a", 10, {"ab........", "..........", ".........."}, 2, 0, 2},  // bells draw nothing
      {"\x0b\x0c", 10, {"\x0b\x0c........", "..........", ".........."}, 2, 0},
      // Ending in the last cell: no scroll, the cursor on that cell; the next byte scrolls first.
      {"abcdefghijkl", 4, {"abcd", "efgh", "ijkl"}, 3, 2},
      {"abcdefghijklm", 4, {"efgh", "ijkl", "m   "}, 1, 2},
      // A line end on the last row scrolls at once.
      {"a\r\nb\r\ncd\r\n", 4, {"b...", "cd..", "    "}, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ConsoleRig rig(c.width, 3, 0, '.');
    write(c.text);
    EXPECT_EQ(rig.screen.rows(0, 3), c.rows);
    EXPECT_EQ(rig.screen.cursor_x, c.x);
    EXPECT_EQ(rig.screen.cursor_y, c.y);
    EXPECT_EQ(rig.screen.beeps, c.beeps);
  }
}

TEST(ConsoleWriter, ATerminalWiderThanSixteenBitsIsDrawnOn) {
  // 40,000 columns: a line wraps at its right edge, the cursor and the size as they are.
  ConsoleRig rig(40000, 3, 0, '.');
  write(std::string(40001, 'x'));
  EXPECT_EQ(rig.screen.row(0), std::string(40000, 'x'));
  EXPECT_EQ(rig.screen.row(1).substr(0, 3), "x..");
  EXPECT_EQ(rig.screen.cursor_x, 1);
  EXPECT_EQ(console_size().width, 40000);
  EXPECT_EQ(cursor_position().col, 2);
}

TEST(ConsoleWriter, RunsAreDrawnWholeAndBellsDoNotSplitThem) {
  ConsoleRig rig(2000, 3);
  write("ab\acd");
  EXPECT_EQ(rig.screen.put_calls, 1);
  EXPECT_EQ(rig.screen.beeps, 1);
  // 3000 bytes from x = 4: runs of 1024, 1024 and 952, the second split at the right edge.
  write(std::string(3000, 'x'));
  EXPECT_EQ(rig.screen.put_calls, 1 + 4);
  EXPECT_EQ(rig.screen.cursor_x, 1004);
  EXPECT_EQ(rig.screen.cursor_y, 1);
}

TEST(ConsoleWriter, TheLastCellsWaitingAdvance) {
  // Settling alone carries it out.
  ConsoleRig settle(4, 3, 0, '.');
  write("abcdefghijkl");
  console_write(nullptr, 0, Settle::kYes);
  EXPECT_EQ(settle.screen.rows(0, 3), (Rows{"efgh", "ijkl", "    "}));
  EXPECT_EQ(settle.screen.cursor_x, 0);
  EXPECT_EQ(settle.screen.cursor_y, 2);

  // locate clears it: the next byte overwrites the last cell and waits again.
  ConsoleRig cleared(4, 3, 0, '.');
  write("abcdefghijkl");
  locate(kKeepCoordinate, kKeepCoordinate, CursorVisibility::kKeep);
  write("m");
  EXPECT_EQ(cleared.screen.rows(0, 3), (Rows{"abcd", "efgh", "ijkm"}));
  EXPECT_EQ(cleared.screen.scrolls, 0);
}

TEST(ConsoleWriter, WindowRunsDownTheBufferThenTheBufferMoves) {
  ConsoleRig rig(20, 300, 25, '.');
  clear_screen(kClearDefault);
  for (int i = 1; i <= 25; ++i) print_text(0, "line " + std::to_string(i), kEndLine);
  EXPECT_EQ(rig.screen.window_top, 1);
  EXPECT_EQ(rig.screen.window_bottom, 25);
  EXPECT_EQ(rig.screen.cursor_y, 25);
  print_text(0, "line 26", kEndNone);
  EXPECT_EQ(rig.screen.row(0), "line 1              ");  // kept above the window
  EXPECT_EQ(rig.screen.row(25), "line 26.............");
  EXPECT_EQ(rig.screen.row(26), "....................");
  print_end(0, kEndLine);
  for (int i = 27; i <= 299; ++i) print_text(0, "line " + std::to_string(i), kEndLine);
  EXPECT_EQ(rig.screen.window_top, 275);
  EXPECT_EQ(rig.screen.window_bottom, 299);
  EXPECT_EQ(rig.screen.scrolls, 0);
  print_text(0, "line 300", kEndLine);  // the window is at the bottom: the buffer moves up
  EXPECT_EQ(rig.screen.scrolls, 1);
  EXPECT_EQ(rig.screen.row(0), "line 2              ");
  EXPECT_EQ(rig.screen.row(298), "line 300............");
  EXPECT_EQ(rig.screen.row(299), "                    ");
  EXPECT_EQ(rig.screen.window_top, 275);
  EXPECT_EQ(rig.screen.cursor_y, 299);
  EXPECT_EQ(console_size().height, 25);
}

// The two Windows hosts: the classic console's buffer is taller than its window, ConPTY's is the
// window. What the user can scroll back to is the classic buffer's rows above the window, or
// the terminal's scrollback.
struct WindowsHost {
  const char* name;
  MemoryScreen::Host host;
  int buffer_rows;  // 0: the window's
};
const WindowsHost kHosts[] = {{"classic", MemoryScreen::Host::kClassic, 40},
                              {"ConPTY", MemoryScreen::Host::kPseudoConsole, 0}};

Rows lines(int first, int last) {
  Rows rows;
  for (int i = first; i <= last; ++i) {
    std::string row = "line " + std::to_string(i);
    rows.push_back(row.append(10 - row.size(), ' '));
  }
  return rows;
}

TEST(ConsoleWriter, BothHostsKeepEveryLineThatScrollsOff) {
  for (const WindowsHost& h : kHosts) {
    SCOPED_TRACE(h.name);
    ConsoleRig rig(10, h.buffer_rows != 0 ? h.buffer_rows : 5, 5);
    rig.screen.host = h.host;
    clear_screen(kClearDefault);
    for (int i = 1; i <= 12; ++i) print_text(0, "line " + std::to_string(i), kEndLine);
    EXPECT_EQ(rig.screen.history(), lines(1, 8));
    // A text that ends in the last cell waits for the next byte before a row goes.
    print_text(0, "abcdefghij", kEndNone);
    EXPECT_EQ(rig.screen.history(), lines(1, 8));
    print_text(0, "k", kEndNone);
    EXPECT_EQ(rig.screen.history(), lines(1, 9));
    Rows window = lines(10, 12);
    window.insert(window.end(), {"abcdefghij", "k         "});
    EXPECT_EQ(rig.screen.window(), window);
    EXPECT_EQ(rig.screen.cursor_y, rig.screen.window_bottom);
    EXPECT_EQ(rig.screen.window_moves, h.buffer_rows != 0 ? 9 : 0);  // one row at a time
  }
}

TEST(ConsoleWriter, AWindowResizedBetweenWritesIsUsedAtItsSizeOfNow) {
  struct Case {
    int rows;  // the window's new height
    int first_shown;
  };
  const Case cases[] = {{8, 6}, {3, 11}};
  for (const WindowsHost& h : kHosts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(h.name) + " " + std::to_string(c.rows));
      ConsoleRig rig(10, h.buffer_rows != 0 ? h.buffer_rows : 5, 5);
      rig.screen.host = h.host;
      clear_screen(kClearDefault);
      for (int i = 1; i <= 3; ++i) print_text(0, "line " + std::to_string(i), kEndLine);
      rig.screen.resize_window(10, c.rows);
      rig.screen.resized = false;  // the console's report of it not yet read
      const int moves = rig.screen.window_moves;
      for (int i = 4; i <= 12; ++i) print_text(0, "line " + std::to_string(i), kEndLine);
      Rows window = lines(c.first_shown, 12);
      window.push_back("          ");
      EXPECT_EQ(rig.screen.window(), window);
      EXPECT_EQ(rig.screen.history(), lines(1, c.first_shown - 1));
      if (h.buffer_rows == 0) {
        EXPECT_EQ(rig.screen.window_moves, moves);  // ConPTY's buffer never resized by the program
      }
    }
  }
}

TEST(ConsoleWriter, FailuresInTheMiddleOfAWrite) {
  // A failed buffer read: 80 x 25, attribute 7, cursor at the region's top-left; the view read
  // at the end fails too, so later output goes unchanged to standard output.
  ConsoleRig rig(10, 4, 0, '.');
  rig.screen.attribute = 0x1F;
  write("xy\r\n");
  rig.screen.fail_reads = true;
  write("ab");
  EXPECT_EQ(rig.screen.rows(0, 2), (Rows{"ab........", ".........."}));
  EXPECT_EQ(rig.screen.attribute_at(0, 0), 7);
  EXPECT_TRUE(console_is_degenerate());
  write("cd\r\n");
  stdout_flush();
  EXPECT_EQ(rig.process.output, "cd\r\n");

  // A refused cell write drops the rest of its run; the bytes after it still act.
  ConsoleRig refused(10, 4, 0, '.');
  refused.screen.refuse_cells = true;
  write("abc\r\nd");
  EXPECT_EQ(refused.screen.cursor_x, 0);
  EXPECT_EQ(refused.screen.cursor_y, 1);
}

TEST(ConsoleWriter, PrintZonesOnAnEightyColumnConsole) {
  struct Case {
    int column;
    int blanks;  // -1: a line end
  };
  const Case cases[] = {{0, 14}, {13, 1}, {14, 14}, {55, 1}, {56, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    ConsoleRig rig(80, 5, 0, '.');
    print_text(0, std::string(static_cast<std::size_t>(c.column), 'x'), kEndZone);
    const int filled = c.column + (c.blanks > 0 ? c.blanks : 0);
    EXPECT_EQ(rig.screen.row(0), std::string(static_cast<std::size_t>(c.column), 'x') +
                                     std::string(static_cast<std::size_t>(filled - c.column), ' ') +
                                     std::string(static_cast<std::size_t>(80 - filled), '.'));
    EXPECT_EQ(rig.screen.cursor_x, c.blanks > 0 ? filled : 0);
    EXPECT_EQ(rig.screen.cursor_y, c.blanks > 0 ? 0 : 1);
  }
}

TEST(ConsoleWriter, LocateRefusesOutsideTheRegionAndReportsWhereItStands) {
  ConsoleRig rig(10, 8, 0, '.');
  rig.screen.window_top = 2;
  rig.screen.window_bottom = 5;  // region rows 1..4 are buffer rows 2..5
  constexpr auto kShow = CursorVisibility::kShow;
  constexpr auto kHide = CursorVisibility::kHide;
  constexpr auto kKeep = CursorVisibility::kKeep;
  struct Step {
    int row, col;
    CursorVisibility visibility;
    int col_reached, row_reached;
    bool was_visible;
    int x, y;
    bool visible_after;
  };
  const Step steps[] = {
      {2, 3, kShow, 3, 2, true, 2, 3, true},
      {kKeepCoordinate, 5, kHide, 5, 2, true, 4, 3, false},  // row kept
      {5, 1, kKeep, 5, 2, false, 4, 3, false},  // row beyond H0: refused, visibility unchanged
      {1, 11, kShow, 5, 2, false, 4, 3, true},  // column beyond W: refused, still shown
      {4, kKeepCoordinate, kKeep, 5, 4, true, 4, 5, true},  // column kept
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.row * 100 + s.col);
    const LocateResult result = locate(s.row, s.col, s.visibility);
    EXPECT_EQ(result.col, s.col_reached);
    EXPECT_EQ(result.row, s.row_reached);
    EXPECT_EQ(result.was_visible, s.was_visible);
    EXPECT_EQ(rig.screen.cursor_x, s.x);
    EXPECT_EQ(rig.screen.cursor_y, s.y);
    EXPECT_EQ(rig.screen.visible, s.visible_after);
  }
  EXPECT_EQ(console_channel().column, 4u);  // set by the last accepted column

  // Rows and columns beyond 255 come back whole.
  ConsoleRig tall(300, 300);
  const LocateResult far = locate(260, 280, kKeep);
  EXPECT_EQ(far.row, 260);
  EXPECT_EQ(far.col, 280);
  EXPECT_EQ(tall.screen.cursor_y, 259);
}

TEST(ConsoleWriter, ClearScreenBlanksTheRegionOnly) {
  ConsoleRig rig(4, 8, 0, '.');
  rig.screen.window_top = 3;
  rig.screen.window_bottom = 5;
  rig.screen.attribute = 0x1E;
  rig.screen.cursor_x = 2;
  rig.screen.cursor_y = 4;
  clear_screen(kClearDefault);
  EXPECT_EQ(rig.screen.rows(0, 8),
            (Rows{"....", "....", "....", "    ", "    ", "    ", "....", "...."}));
  EXPECT_EQ(rig.screen.attribute_at(3, 5), 0x1E);
  EXPECT_EQ(rig.screen.cursor_x, 0);
  EXPECT_EQ(rig.screen.cursor_y, 3);
  EXPECT_EQ(console_channel().column, 0u);

  // Mode 1 does nothing; the others take the window's rows as the last write found them.
  rig.screen.window_bottom = 6;
  console_write(nullptr, 0, Settle::kYes);  // reads the taller view
  for (const std::uint32_t mode : {kClearRegion, kClearView}) {
    rig.screen.draw(0, 6, "abcd");
    clear_screen(kClearNothing);
    EXPECT_EQ(rig.screen.row(6), "abcd");
    clear_screen(mode);
    EXPECT_EQ(rig.screen.row(6), "    ");
  }
}

TEST(ConsoleWriter, DegenerateViewPassesBytesUnchanged) {
  struct Case {
    const char* what;
    bool fail_reads;
    int width, height, window_rows;
  };
  const Case cases[] = {
      {"no console", true, 10, 5, 0},
      {"window of one row", false, 10, 5, 1},
      {"buffer of one column", false, 1, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConsoleRig rig(c.width, c.height, c.window_rows, '.');
    rig.screen.fail_reads = c.fail_reads;
    clear_screen(kClearDefault);
    print_text(0, "a\a\tb\b\xe3", kEndLine);
    stdout_flush();
    EXPECT_EQ(rig.process.output, "a\a\tb\b\xe3\r\n");
    EXPECT_EQ(rig.screen.cells_written, 0);
    EXPECT_EQ(rig.screen.beeps, 0);
    EXPECT_EQ(console_size().width, 80);
    EXPECT_EQ(console_size().height, 25);
  }
  ConsoleRig rig(10, 5, 0);
  rig.screen.fail_reads = true;
  EXPECT_EQ(cursor_position().col, 0);
  EXPECT_EQ(cursor_position().row, 0);
}

}  // namespace
}  // namespace zepa
