#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_writer.h"
#include "console/line_input.h"
#include "console/print.h"
#include "support/scripted_keys.h"
#include "sys/std_streams.h"

namespace zepa {
namespace {

using testing::ConsoleRig;
using Rows = std::vector<std::string>;
using Keys = std::vector<KeyCode>;

Keys typed(std::string_view text) {
  Keys keys;
  for (const char c : text) keys.push_back(static_cast<unsigned char>(c));
  return keys;
}

Keys operator+(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Reads one line with the prompt ">" and no "? ", the keys followed by Enter.
std::string read_with(ConsoleRig& rig, const Keys& keys) {
  rig.keys.script = keys;
  rig.keys.script.push_back(kKeyEnter);
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  EXPECT_FALSE(rig.keys.ran_out);
  return input_line().text;
}

TEST(LineEditor, EveryKeyOfTheTable) {
  struct Case {
    const char* what;
    Keys keys;
    std::string text;
    std::string row;  // the first row of a 20-column screen afterwards ('.' never written)
    int beeps = 0;
  };
  const Case cases[] = {
      {"characters", typed("abc"), "abc", ">abc................"},
      {"backspace in the middle", typed("abc") + Keys{kKeyLeft, 8}, "ac", ">ac ................"},
      {"backspace at the start is silent", Keys{8}, "", ">..................."},
      {"tab at 0", typed("\tx"), "        x", ">        x.........."},
      {"tab at 5", typed("abcde\tx"), "abcde   x", ">abcde   x.........."},
      {"tab at 8", typed("abcdefgh\tx"), "abcdefgh        x", ">abcdefgh        x.."},
      {"tab in the middle counts buffer positions", typed("ab") + Keys{kKeyLeft, 9}, "a       b",
       ">a       b.........."},
      {"esc blanks 10 bytes", typed("0123456789") + Keys{27} + typed("z"), "z",
       ">z         ........."},
      {"esc on an empty line", Keys{27} + typed("a"), "a", ">a.................."},
      {"home and end", typed("abc") + Keys{kKeyHome} + typed("X") + Keys{kKeyEnd} + typed("Y"),
       "XabcY", ">XabcY.............."},
      {"left and right", typed("abc") + Keys{kKeyLeft, kKeyLeft, 'X', kKeyRight, 'Y'}, "aXbYc",
       ">aXbYc.............."},
      {"left at the start, right at the end", Keys{kKeyLeft, 'a', kKeyRight, 'b'}, "ab",
       ">ab................."},
      {"delete in the middle", typed("abc") + Keys{kKeyHome, kKeyDelete}, "bc",
       ">bc ................"},
      {"delete at the end beeps", typed("abc") + Keys{kKeyDelete}, "abc", ">abc................",
       1},
      {"keys that change nothing",
       Keys{kKeyInsert, kKeyPageUp, kKeyPageDown, kKeyF1, kKeyF11, kKeyF12, extended_key(0x1E), 0,
            1, 31, kCloseKey, 'a'},
       "a", ">a.................."},
      {"a character the line cannot hold beeps and leaves the line as it was",
       typed("ab") + Keys{kKeyLeft, kKeyNoByte}, "ab", ">ab.................", 1},
      {"127 and 255 are bytes", Keys{127, 255}, "\x7F\xFF", ">\x7F\xFF................."},
      {"ctrl+enter ends the line", typed("ab") + Keys{10, 'c'}, "ab", ">ab................."},
      {"enter in the middle takes the whole line", typed("abc") + Keys{kKeyHome}, "abc",
       ">abc................"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConsoleRig rig(20, 4, 0, '.');
    EXPECT_EQ(read_with(rig, c.keys), c.text);
    EXPECT_EQ(rig.screen.row(0), c.row);
    EXPECT_EQ(rig.screen.beeps, c.beeps);
    EXPECT_EQ(rig.screen.cursor_x, 0);  // the line end after the reply
    EXPECT_EQ(rig.screen.cursor_y, 1);
    EXPECT_TRUE(rig.screen.visible);
  }
}

TEST(LineEditor, UpAndDownMoveByTheWidth) {
  ConsoleRig rig(10, 4, 0, '.');
  const Keys keys = typed("abcdefghijklmnopqrstuvwxy") +
                    Keys{kKeyUp,   'X',     // pos 25 -> 15
                         kKeyDown,          // 16 + 10 <= 26: to the end
                         kKeyDown, 'Y',     // fewer than W after it: nothing
                         kKeyHome, kKeyUp,  // fewer than W before it: nothing
                         'Z'};
  EXPECT_EQ(read_with(rig, keys), "ZabcdefghijklmnoXpqrstuvwxyY");
  EXPECT_EQ(rig.screen.rows(0, 4), (Rows{">Zabcdefgh", "ijklmnoXpq", "rstuvwxyY.", ".........."}));
  EXPECT_EQ(rig.screen.cursor_y, 3);
}

TEST(LineEditor, PromptEndingInTheLastCellOfTheView) {
  ConsoleRig rig(10, 3, 0, '.');
  print_text(0, "a", kEndLine);
  print_text(0, "b", kEndLine);
  rig.keys.type("x").press(kKeyEnter);
  // "12345678? " fills the last row; the first byte goes over the blank of "? ".
  read_line("12345678", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "x");
  EXPECT_EQ(rig.screen.rows(0, 3), (Rows{"12345678?x", "          ", "          "}));
  EXPECT_EQ(rig.screen.cursor_x, 0);
  EXPECT_EQ(rig.screen.cursor_y, 2);
}

TEST(LineEditor, InsertsThatScrollAtTheLastCell) {
  // Appending into the last cell moves to the start of a new last row.
  ConsoleRig append(10, 3, 0, '.');
  append.screen.cursor_y = 2;
  append.keys.type("abcdefghi").press(kKeyLeft).type("Q").press(kKeyEnter);
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "abcdefghQi");
  EXPECT_EQ(append.screen.rows(0, 3), (Rows{">abcdefghQ", "i         ", "          "}));

  // Inserting in the middle of a line whose tail reaches past the last cell scrolls; the
  // cursor still lands just after the inserted byte ('Z' follows 'Y').
  ConsoleRig middle(10, 3, 0, '.');
  middle.screen.cursor_y = 2;
  middle.keys.type("abcdefgh").press(kKeyHome).type("XYZ").press(kKeyEnter);
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "XYZabcdefgh");
  EXPECT_EQ(middle.screen.rows(0, 3), (Rows{">XYZabcdef", "gh        ", "          "}));
  EXPECT_EQ(middle.screen.cursor_x, 0);
  EXPECT_EQ(middle.screen.cursor_y, 2);
}

TEST(LineEditor, VisibilityIsRestoredAndKeysWaitWithoutBlindSleeps) {
  ConsoleRig rig(20, 4);
  rig.screen.visible = false;
  rig.keys.one_per_drain = true;
  rig.keys.type("ok").press(kKeyEnter);
  read_line(" Tecle A", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "ok");
  EXPECT_EQ(rig.screen.row(0), " Tecle A? ok        ");
  EXPECT_FALSE(rig.screen.visible);
  EXPECT_EQ(rig.keys.waits, 0);  // keys were always there

  // With nothing typed the editor waits for input, showing what it wrote first.
  ConsoleRig idle(20, 4);
  read_line("", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_TRUE(idle.keys.ran_out);
  EXPECT_EQ(idle.keys.waits, 1);
  EXPECT_EQ(idle.keys.last_timeout, -1);  // a source of bytes: no period, input or a signal ends it
  EXPECT_EQ(idle.screen.flushes, 1);
}

TEST(LineEditor, LongPasteCostsOneCellPerKeyAtTheEnd) {
  ConsoleRig rig(80, 25);
  rig.keys.type(std::string(10000, 'p')).type("\r");
  read_line("", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text.size(), 10000u);
  EXPECT_EQ(rig.screen.cells_written, 2 + 10000);  // "? " and each byte once
  EXPECT_EQ(rig.screen.put_calls, 1 + 10000);
  EXPECT_EQ(rig.keys.waits, 0);
  EXPECT_LT(rig.screen.reads, 10 * 10000);
}

TEST(LineEditor, ALineLongerThanTheWindowShowsThePartAroundTheCursor) {
  // A window of 3 rows at the bottom of a buffer of 8 rows of 10 columns.
  ConsoleRig rig(10, 8, 3, '.');
  rig.screen.window_top = 5;
  rig.screen.window_bottom = 7;
  rig.screen.cursor_y = 5;
  rig.keys.type("0123456789abcdefghijklmnopqrstuvwxyzABCDE").press(kKeyHome).type("X");
  rig.keys.pause_at = rig.keys.script.size();
  rig.keys.press(kKeyEnd).type("Y").press(kKeyEnter);
  // Home: the window goes up to the line's first row; the X lands before the 0.
  rig.keys.at_pause = [&] {
    EXPECT_EQ(rig.screen.window(), (Rows{">X01234567", "89abcdefgh", "ijklmnopqr"}));
    EXPECT_EQ(rig.screen.cursor_x, 2);
    EXPECT_EQ(rig.screen.cursor_y, rig.screen.window_top);
  };
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "X0123456789abcdefghijklmnopqrstuvwxyzABCDEY");
  // End: the window follows the cursor back down; the line end scrolls.
  EXPECT_EQ(rig.screen.window(), (Rows{"stuvwxyzAB", "CDEY      ", "          "}));
  EXPECT_EQ(rig.screen.cursor_y, 7);
}

TEST(LineEditor, AfterAResizeThePromptAndTheLineStandOnTheFreshRow) {
  ConsoleRig rig(20, 6);
  rig.keys.type("abcd").press(kKeyLeft);
  rig.keys.pause_at = rig.keys.script.size();
  rig.keys.type("X").press(kKeyEnter);
  rig.keys.at_pause = [&] { rig.screen.lay_out_again(7, 4); };
  read_line("c=", QuestionMark::kYes, LineEndAfter::kYes);
  EXPECT_EQ(input_line().text, "abcXd");
  // "c=? abc" fills the row; "d" wraps. The X goes before the d; Enter ends the line below.
  EXPECT_EQ(rig.screen.rows(0, 4), (Rows{"       ", "c=? abc", "Xd     ", "       "}));
  EXPECT_EQ(rig.screen.cursor_x, 0);
  EXPECT_EQ(rig.screen.cursor_y, 3);
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
    rig.keys.type("ab").press(kKeyHome).type("X").press(kKeyEnter);
    read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
    EXPECT_EQ(input_line().text, "Xab");
    EXPECT_EQ(rig.screen.rows(0, c.height), c.rows);
    EXPECT_TRUE(rig.process.output.empty());
  }
}

TEST(LineEditor, ARecordingOutputGetsTheDialogueNotTheRedraws) {
  ConsoleRig rig(20, 12);
  rig.process.records_dialogue = true;
  print_text(0, "ab", kEndLine);
  rig.keys.type("39").press(8).type("4").press(kKeyHome).press(kKeyEnter);
  read_line("c=", QuestionMark::kYes, LineEndAfter::kYes);
  flush_all_output();
  EXPECT_EQ(rig.process.output, "ab\r\nc=? 34\r\n");

  // The output fails: its warning stands once on the screen, before the next prompt, and the
  // dialogue goes on there; standard error gets nothing.
  rig.process.output_room = 0;
  print_text(0, "cd", kEndLine);
  flush_all_output();
  rig.keys.type("1").press(kKeyEnter);
  read_line("f=", QuestionMark::kYes, LineEndAfter::kYes);
  rig.keys.type("n").press(kKeyEnter);
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
