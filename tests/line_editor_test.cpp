#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console/console_writer.h"
#include "console/line_input.h"
#include "console/print.h"
#include "support/scripted_keys.h"
#include "sys/std_streams.h"

namespace zepa {
namespace {

using namespace testing;  // the rig and the bytes of the keys
using Rows = std::vector<std::string>;

// Reads one line with the prompt ">" and no "? ": the bursts typed one after the other, with
// a wait between them, and Enter.
std::string read_with(ConsoleRig& rig, const std::vector<std::string>& bursts) {
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    if (i > 0) rig.keys.pause();
    rig.keys.type(bursts[i]);
  }
  rig.keys.type("\r");
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  return input_line().text;
}

TEST(LineEditor, EveryKeyOfTheTable) {
  struct Case {
    const char* what;
    std::vector<std::string> bursts;
    std::string text;
    std::string row;  // the first row of a 20-column screen afterwards ('.' never written)
    int beeps = 0;
  };
  const Case cases[] = {
      // clang-format off
      {"characters", {"abc"}, "abc", ">abc................"},
      {"backspace in the middle", {"abc" + kLeft + kBackspace}, "ac", ">ac ................"},
      {"backspace at the start is silent", {kBackspace}, "", ">..................."},
      {"tab at 0", {"\tx"}, "        x", ">        x.........."},
      {"tab at 5", {"abcde\tx"}, "abcde   x", ">abcde   x.........."},
      {"tab at 8", {"abcdefgh\tx"}, "abcdefgh        x", ">abcdefgh        x.."},
      {"tab in the middle counts buffer positions", {"ab" + kLeft + "\t"}, "a       b",
       ">a       b.........."},
      // Esc alone: the decoder gives it once no byte has followed in time.
      {"esc blanks 10 bytes", {"0123456789\x1b", "z"}, "z", ">z         ........."},
      {"esc on an empty line", {"\x1b", "a"}, "a", ">a.................."},
      {"home and end", {"abc" + kHome + "X" + kEnd + "Y"}, "XabcY", ">XabcY.............."},
      {"left and right", {"abc" + kLeft + kLeft + "X" + kRight + "Y"}, "aXbYc",
       ">aXbYc.............."},
      {"left at the start, right at the end", {kLeft + "a" + kRight + "b"}, "ab",
       ">ab................."},
      {"delete in the middle", {"abc" + kHome + kDelete}, "bc", ">bc ................"},
      {"delete at the end beeps", {"abc" + kDelete}, "abc", ">abc................", 1},
      {"keys that change nothing: Insert, pages, F1, F11, F12, Alt+a, controls",
       {kInsert + kPageUp + kPageDown + kF1 + kF11 + kF12 + "\x1b" "a" +
        std::string("\0\x01\x1f", 3) + "a"}, "a", ">a.................."},
      {"a character the line cannot hold beeps and leaves the line as it was",
       {"ab" + kLeft + "\xf0\x9f\x98\x80"}, "ab", ">ab.................", 1},
      {"characters above 127 typed in UTF-8 are their Windows-1252 bytes, 255 included",
       {" \xc3\xbf\xc3\xa1\xe2\x82\xac"}, " \xFF\xE1\x80", "> \xFF\xE1\x80..............."},
      {"ctrl+enter ends the line", {"ab\nc"}, "ab", ">ab................."},
      {"enter in the middle takes the whole line", {"abc" + kHome}, "abc", ">abc................"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConsoleRig rig(20, 4, 0, '.');
    EXPECT_EQ(read_with(rig, c.bursts), c.text);
    EXPECT_EQ(rig.screen.row(0), c.row);
    EXPECT_EQ(rig.screen.beeps, c.beeps);
    EXPECT_EQ(rig.screen.cursor_x, 0);  // the line end after the reply
    EXPECT_EQ(rig.screen.cursor_y, 1);
    EXPECT_TRUE(rig.screen.visible);
  }
}

TEST(LineEditor, UpAndDownMoveByTheWidth) {
  ConsoleRig rig(10, 4, 0, '.');
  std::string ten_right;
  for (int i = 0; i < 10; ++i) ten_right += kRight;
  // clang-format off
  const std::string keys = "abcdefghijklmnopqrstuvwxy" +
                           kUp + "X" +             // pos 25 -> 15
                           kDown +                 // 16 + 10 <= 26: to the end
                           kDown + "Y" +           // fewer than W after it: nothing
                           kHome + kUp +           // fewer than W before it: nothing
                           ten_right + kUp + "Z";  // exactly W before it: to the start
  // clang-format on
  EXPECT_EQ(read_with(rig, {keys}), "ZabcdefghijklmnoXpqrstuvwxyY");
  EXPECT_EQ(rig.screen.rows(0, 4), (Rows{">Zabcdefgh", "ijklmnoXpq", "rstuvwxyY.", ".........."}));
  EXPECT_EQ(rig.screen.cursor_y, 3);
}

TEST(LineEditor, PromptEndingInTheLastCellOfTheView) {
  ConsoleRig rig(10, 3, 0, '.');
  print_text(0, "a", kEndLine);
  print_text(0, "b", kEndLine);
  rig.keys.type("x\r");
  // "12345678? " fills the last row; the first byte goes over the blank of "? ".
  read_line("12345678", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "x");
  EXPECT_EQ(rig.screen.rows(0, 3), (Rows{"12345678?x", "          ", "          "}));
  EXPECT_EQ(rig.screen.cursor_x, 0);
  EXPECT_EQ(rig.screen.cursor_y, 2);
}

TEST(LineEditor, InsertsThatScrollAtTheLastCell) {
  struct Case {
    const char* what;
    std::string keys;
    std::string text;
    Rows rows;
  };
  const Case cases[] = {
      {"appending into the last cell moves to the start of a new last row",
       "abcdefghi" + kLeft + "Q",
       "abcdefghQi",
       {">abcdefghQ", "i         ", "          "}},
      {"inserting in a line whose tail reaches past the last cell scrolls; the cursor still "
       "lands just after the inserted byte ('Z' follows 'Y')",
       "abcdefgh" + kHome + "XYZ",
       "XYZabcdefgh",
       {">XYZabcdef", "gh        ", "          "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConsoleRig rig(10, 3, 0, '.');
    rig.screen.cursor_y = 2;
    EXPECT_EQ(read_with(rig, {c.keys}), c.text);
    EXPECT_EQ(rig.screen.rows(0, 3), c.rows);
    EXPECT_EQ(rig.screen.cursor_x, 0);
    EXPECT_EQ(rig.screen.cursor_y, 2);
  }
}

TEST(LineEditor, VisibilityIsRestoredAndKeysWaitWithoutBlindSleeps) {
  ConsoleRig rig(20, 4);
  rig.screen.visible = false;
  rig.keys.type("ok\r");
  read_line(" Tecle A", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "ok");
  EXPECT_EQ(rig.screen.row(0), " Tecle A? ok        ");
  EXPECT_FALSE(rig.screen.visible);
  EXPECT_EQ(rig.keys.waits, 0);  // keys were always there

  // With nothing typed the editor waits for input, showing what it wrote first.
  ConsoleRig idle(20, 4);
  idle.keys.expect_end = true;
  read_line("", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_TRUE(idle.keys.ran_out);
  EXPECT_EQ(idle.keys.waits, 1);
  EXPECT_EQ(idle.keys.last_timeout, -1);  // a source of bytes: no period, input or a signal ends it
  EXPECT_EQ(idle.screen.flushes, 1);
}

TEST(LineEditor, LongPasteCostsOneCellPerKeyAtTheEnd) {
  // Far more than the key queue holds: the rest waits in the terminal, and nothing is lost.
  ConsoleRig rig(80, 25);
  EXPECT_EQ(read_with(rig, {std::string(10000, 'p')}), std::string(10000, 'p'));
  EXPECT_EQ(rig.screen.cells_written, 1 + 10000);  // ">" and each byte once
  EXPECT_EQ(rig.keys.waits, 0);
  EXPECT_LT(rig.screen.reads, 10 * 10000);
}

TEST(LineEditor, ALineLongerThanTheWindowShowsThePartAroundTheCursor) {
  // A window of 3 rows at the bottom of a buffer of 8 rows of 10 columns.
  ConsoleRig rig(10, 8, 3, '.');
  rig.screen.window_top = 5;
  rig.screen.window_bottom = 7;
  rig.screen.cursor_y = 5;
  // Home: the window goes up to the line's first row; the X lands before the 0.
  rig.keys.type("0123456789abcdefghijklmnopqrstuvwxyzABCDE" + kHome + "X").pause([&] {
    EXPECT_EQ(rig.screen.window(), (Rows{">X01234567", "89abcdefgh", "ijklmnopqr"}));
    EXPECT_EQ(rig.screen.cursor_x, 2);
    EXPECT_EQ(rig.screen.cursor_y, rig.screen.window_top);
  });
  EXPECT_EQ(read_with(rig, {kEnd + "Y"}), "X0123456789abcdefghijklmnopqrstuvwxyzABCDEY");
  // End: the window follows the cursor back down; the line end scrolls.
  EXPECT_EQ(rig.screen.window(), (Rows{"stuvwxyzAB", "CDEY      ", "          "}));
  EXPECT_EQ(rig.screen.cursor_y, 7);
}

TEST(LineEditor, AfterAResizeThePromptAndTheLineStandOnTheFreshRow) {
  ConsoleRig rig(20, 6);
  rig.keys.type("abcd" + kLeft).pause([&] { rig.screen.lay_out_again(7, 4); }).type("X\r");
  read_line("c=", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "abcXd");
  // "c=? abc" fills the row; "d" wraps. The X goes before the d; Enter ends the line below.
  EXPECT_EQ(rig.screen.rows(0, 4), (Rows{"       ", "c=? abc", "Xd     ", "       "}));
  EXPECT_EQ(rig.screen.cursor_x, 0);
  EXPECT_EQ(rig.screen.cursor_y, 3);
}

// The two Windows hosts: the classic console (a buffer of 12 rows, the window at its top) and
// ConPTY (the buffer is the window). Both re-wrap their rows when the window is resized.
struct WindowsHost {
  const char* name;
  MemoryScreen::Host host;
  int buffer_rows;  // 0: the window's
};
const WindowsHost kHosts[] = {{"classic", MemoryScreen::Host::kClassic, 12},
                              {"ConPTY", MemoryScreen::Host::kPseudoConsole, 0}};

TEST(LineEditor, OnBothWindowsHosts) {
  struct Case {
    const char* what;
    int width, rows;  // the window's
    std::function<void(ScriptedKeys&, MemoryScreen&)> keys;
    std::string text;
    Rows history, window;
  };
  const Case cases[] = {
      {"a line over three rows, from the last row: rows leave at the last cell, Home and End "
       "reach both ends",
       10,
       4,
       [](ScriptedKeys& keys, MemoryScreen&) {
         keys.type("abcdefghijklmnopqrstuvwxy" + kHome + "X" + kEnd + "Y\r");
       },
       "XabcdefghijklmnopqrstuvwxyY",
       {"l1        ", "l2        ", "l3        "},
       {">Xabcdefgh", "ijklmnopqr", "stuvwxyY  ", "          "}},
      {"narrower in the middle of the line: the prompt and the line again on a fresh row, the "
       "pieces the host re-wrapped below the cursor blanked",
       20,
       8,
       [](ScriptedKeys& keys, MemoryScreen& screen) {
         keys.type("abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVW" + kHome)
             .pause([&screen] { screen.resize_window(15, 8); })
             .type("X\r");
       },
       "Xabcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVW",
       {"l1             ", "l2             "},
       // The cursor's row as the host cut it stays; the re-wrap's last piece ("TUVW", below
       // where the line now ends) is gone.
       {"l3             ", ">abcdefghijklmn", ">Xabcdefghijklm", "nopqrstuvwxyz01",
        "23456789ABCDEFG", "HIJKLMNOPQRSTUV", "W              ", "               "}},
  };
  for (const WindowsHost& h : kHosts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(h.name) + ": " + c.what);
      ConsoleRig rig(c.width, h.buffer_rows != 0 ? h.buffer_rows : c.rows, c.rows);
      rig.screen.host = h.host;
      rig.screen.rewraps = true;
      for (const char* line : {"l1", "l2", "l3"}) print_text(0, line, kEndLine);
      c.keys(rig.keys, rig.screen);
      read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
      EXPECT_EQ(input_line().text, c.text);
      EXPECT_EQ(rig.screen.history(), c.history);
      EXPECT_EQ(rig.screen.window(), c.window);
    }
  }
}

TEST(LineEditor, OneColumnAndOneRow) {
  struct Case {
    const char* what;
    int width;
    int height;
    Rows rows;  // the whole buffer afterwards
  };
  const Case cases[] = {
      {"one column: a cell per row", 1, 6, {">", "X", "a", "b", " ", " "}},
      {"one row: the line scrolls by, the window shows the cursor's row", 8, 1, {"        "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConsoleRig rig(c.width, c.height);
    rig.screen.any_size = true;
    EXPECT_EQ(read_with(rig, {"ab" + kHome + "X"}), "Xab");
    EXPECT_EQ(rig.screen.rows(0, c.height), c.rows);
    EXPECT_TRUE(rig.process.output.empty());
  }
}

TEST(LineEditor, ARecordingOutputGetsTheDialogueNotTheRedraws) {
  ConsoleRig rig(20, 12);
  rig.process.records_dialogue = true;
  print_text(0, "ab", kEndLine);
  rig.keys.type("39" + kBackspace + "4" + kHome + "\r");
  read_line("c=", QuestionMark::kYes, LineEndAfter::kYes);
  flush_all_output();
  EXPECT_EQ(rig.process.output, "ab\r\nc=? 34\r\n");

  // The output fails: its warning stands once on the screen, before the next prompt, and the
  // dialogue goes on there; standard error gets nothing.
  rig.process.output_room = 0;
  print_text(0, "cd", kEndLine);
  flush_all_output();
  rig.keys.type("1\rn\r");
  read_line("f=", QuestionMark::kYes, LineEndAfter::kYes);
  read_line("e=", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(rig.screen.rows(0, 10),
            (Rows{"ab                  ", "c=? 34              ", "cd                  ",
                  "zepa4-07: a saida pa", "drao nao aceitou os ", "dados; o que faltava",
                  " gravar se perdeu   ", "f=? 1               ", "e=? n               ",
                  "                    "}));
  EXPECT_TRUE(rig.process.errors.empty());
}

}  // namespace
}  // namespace zepa
