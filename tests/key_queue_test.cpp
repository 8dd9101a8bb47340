#include "console/key_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "console/key_translate.h"
#include "console/keyboard.h"
#include "console/line_input.h"
#include "support/scripted_keys.h"

namespace zepa {
namespace {

using testing::ConsoleRig;

TEST(KeyQueue, FullQueueDropsTheOldestCode) {
  ConsoleRig rig(10, 5);
  EXPECT_EQ(key_queue_room(), 511);
  for (int i = 0; i < 511; ++i) push_key(i % 200 + 32);
  EXPECT_EQ(key_queue_room(), 0);
  EXPECT_EQ(read_key(), " ");  // 511 codes fit: the first is still there
  push_key(kKeyHome);          // back to 511 waiting
  push_key(kKeyEnd);           // one more drops the oldest (33)
  EXPECT_EQ(read_key(), std::string(1, 34));
  for (int i = 2; i < 510; ++i) read_key();
  EXPECT_EQ(read_key(), "\xFF\x47");
  EXPECT_EQ(read_key(), "\xFF\x4F");
  EXPECT_FALSE(key_available());
  EXPECT_EQ(read_key(), "");
}

TEST(KeyQueue, KeyTextOfBytesAndExtendedCodes) {
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
  push_key(kNoKey);  // no key is no code
  EXPECT_FALSE(key_available());
}

TEST(KeyQueue, PollsTheKeySourceAndFlushesBeforeWaiting) {
  ConsoleRig rig(10, 5);
  rig.keys.type("ab");
  rig.keys.one_per_drain = true;
  EXPECT_TRUE(key_available());  // the first poll installs the event handler
  EXPECT_EQ(read_key(), "a");    // each read polls before and after taking
  EXPECT_EQ(read_key(), "b");
  EXPECT_EQ(rig.keys.installs, 1);
  EXPECT_EQ(rig.keys.drains, 5);
  wait_for_key(25);
  EXPECT_EQ(rig.screen.flushes, 1);
  EXPECT_EQ(rig.keys.waits, 1);
}

}  // namespace
}  // namespace zepa

namespace zepa {
namespace {

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
  testing::ConsoleRig rig(10, 5);
  EventKeys keys;
  install_platform(Platform{&rig.screen, &keys, &rig.process});
  constexpr std::uint32_t kAlt = kLeftAlt;
  keys.events = {
      {true, 1, 'A', 0x1E, 'a', 0},                  // a plain letter
      {true, 1, 0x24, 0x47, 0, kEnhancedKey},        // the grey Home key
      {true, 1, 0x62, 0x50, 0, kAlt},                // Alt + keypad 2
      {true, 1, 0x62, 0x50, 0, kAlt},                // Alt + keypad 2
      {true, 1, 0x65, 0x4C, 0, kAlt},                // Alt + keypad 5
      {false, 1, 0x12, 0x38, 0, 0},                  // Alt let go: 225
      {true, 0, 'X', 0x2D, 'x', 0},                  // a repeat count of 0: nothing
  };
  std::string typed;
  while (key_available()) typed += read_key();
  // Alt with keypad 2 has no extended code; Alt with keypad 5 has one (0x4C), and is still
  // a digit of the number.
  EXPECT_EQ(typed, "a\xFF\x47\xFF\x4C\xE1");
  ASSERT_NE(keys.on_close, nullptr);  // the first poll installed the handler
  std::thread(keys.on_close).join();  // the window is closed: the handler runs on its own thread
  EXPECT_EQ(read_key(), "\xFF\x6B");  // and the next poll, on this one, pushes the close key
  EXPECT_FALSE(key_available());
}

TEST(Keyboard, AConsoleThatGivesNoMoreKeysEndsTheLineAndSaysWhy) {
  // Input that cannot be read: the line ends at once, lost for good.
  {
    testing::ConsoleRig rig(20, 5);
    rig.keys.fail_reads = true;
    read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
    EXPECT_EQ(input_loss(), InputLoss::kFailed);
    EXPECT_EQ(keys_end(), KeysEnd::kFailed);
    EXPECT_EQ(rig.screen.row(0).substr(0, 2), "> ");  // no line end after the reply
  }
  // A terminal that hangs up after "12": the close key is pushed (and ignored by the editor),
  // the line holds what was typed, and no Enter is made up for it.
  testing::ConsoleRig rig(20, 5);
  rig.keys.type("12").hang_up = true;
  read_line(">", QuestionMark::kNo, LineEndAfter::kYes);
  EXPECT_EQ(input_loss(), InputLoss::kHungUp);
  EXPECT_EQ(input_line().text, "12");
  EXPECT_FALSE(rig.keys.ran_out);
  EXPECT_EQ(rig.screen.cursor_y, 0);
}

}  // namespace
}  // namespace zepa
