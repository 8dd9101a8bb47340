#include "console/keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "console/key_queue.h"
#include "console/key_translate.h"
#include "console/line_input.h"
#include "support/scripted_keys.h"

namespace zepa {
namespace {

using testing::ConsoleRig;

TEST(Keyboard, KeyTextOfBytesAndExtendedCodes) {
  ConsoleRig rig(10, 5);
  const struct {
    KeyCode code;
    std::string text;
  } cases[] = {
      {0, std::string(1, '\0')},  // Alt with 2, 5, 6
      {13, "\r"},
      {127, "\x7F"},
      {225, "\xE1"},
      {255, "\xFF"},  // a byte, one long, unlike the extended codes
      {kKeyDelete, "\xFF\x53"},
      {kKeyF12, "\xFF\x86"},
      {kCloseKey, "\xFF\x6B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    push_key(c.code);
    EXPECT_EQ(read_key(), c.text);
  }
  EXPECT_EQ(read_key(), "");
}

TEST(Keyboard, PollsTheKeySourceAndFlushesBeforeWaiting) {
  ConsoleRig rig(10, 5);
  rig.keys.type("a" + testing::kLeft).pause().type("b");
  EXPECT_TRUE(key_available());  // the first poll installs the event handler, once
  EXPECT_EQ(read_key(), "a");
  EXPECT_EQ(read_key(), "\xFF\x4B");  // decoded from the terminal's bytes
  EXPECT_FALSE(key_available());
  EXPECT_EQ(rig.keys.installs, 1);
  EXPECT_TRUE(wait_for_key(25));  // the output is sent, then the wait brings the next bytes
  EXPECT_EQ(rig.screen.flushes, 1);
  EXPECT_EQ(rig.keys.waits, 1);
  EXPECT_EQ(read_key(), "b");
}

// A console that delivers key events, one per read, and whose layout has no characters.
class EventKeys : public KeySource {
 public:
  std::vector<KeyEvent> events;
  std::size_t next = 0;
  void (*on_close)() = nullptr;

  void setup() override {}
  KeyFormat format() override { return KeyFormat{true, 0, false}; }
  void install_event_handler(void (*handler)()) override { on_close = handler; }
  long read_events(KeyEvent* out, std::size_t) override {
    if (next == events.size()) return 0;
    *out = events[next++];
    return 1;
  }
  void wait(int) override {}
};

TEST(Keyboard, ConsoleEventsAreTranslatedAndComposedAboveThePlatform) {
  ConsoleRig rig(10, 5);
  EventKeys keys;
  install_platform(Platform{&rig.screen, &keys, &rig.process});
  constexpr std::uint32_t kAlt = kLeftAlt;
  keys.events = {
      {true, 1, 'A', 0x1E, 'a', 0},            // a plain letter
      {true, 1, 0x24, 0x47, 0, kEnhancedKey},  // the grey Home key
      {true, 1, 0x62, 0x50, 0, kAlt},          // Alt + keypad 2
      {true, 1, 0x62, 0x50, 0, kAlt},          // Alt + keypad 2
      {true, 1, 0x65, 0x4C, 0, kAlt},          // Alt + keypad 5
      {false, 1, 0x12, 0x38, 0, 0},            // Alt let go: 225
      {true, 1, 0x08, 0x0E, 0x7F, kLeftCtrl},  // Ctrl+Backspace: the character 127
      {true, 0, 'X', 0x2D, 'x', 0},            // a repeat count of 0: nothing
  };
  std::string typed;
  while (key_available()) typed += read_key();
  // Alt with keypad 2 has no extended code; Alt with keypad 5 has one (0x4C), and is still
  // a digit of the number.
  EXPECT_EQ(typed, "a\xFF\x47\xFF\x4C\xE1\x7F");
  ASSERT_NE(keys.on_close, nullptr);  // the first poll installed the handler
  std::thread(keys.on_close).join();  // the window is closed: the handler runs on its own thread
  EXPECT_EQ(read_key(), "\xFF\x6B");  // and the next poll, on this one, pushes the close key
  EXPECT_FALSE(key_available());
}

TEST(Keyboard, AConsoleThatGivesNoMoreKeysEndsTheLineAndSaysWhy) {
  // Input that cannot be read: the line ends at once, lost for good.
  {
    ConsoleRig rig(20, 5);
    rig.keys.fail_reads = true;
    read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
    EXPECT_EQ(input_line().loss, InputLoss::kFailed);
    EXPECT_EQ(keys_end(), KeysEnd::kFailed);
    EXPECT_EQ(rig.screen.row(0).substr(0, 2), "> ");  // no line end after the reply
  }
  // A terminal that hangs up after "12": the close key is pushed (and ignored by the editor),
  // the line holds what was typed, and no Enter is made up for it.
  ConsoleRig rig(20, 5);
  rig.keys.type("12").hang_up = true;
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  EXPECT_EQ(input_line().loss, InputLoss::kHungUp);
  EXPECT_EQ(keys_end(), KeysEnd::kHungUp);
  EXPECT_EQ(input_line().text, "12");
  EXPECT_EQ(rig.screen.cursor_y, 0);
}

}  // namespace
}  // namespace zepa
