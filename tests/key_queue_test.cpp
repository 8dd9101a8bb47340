#include "console/key_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

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

TEST(KeyQueue, PushesFromAnotherThreadAreNeitherLostNorRepeated) {
  ConsoleRig rig(10, 5);
  // Each round stays below the ring's size, so every code pushed must come out once, in order,
  // while the main thread takes codes during the pushes.
  constexpr int kRounds = 20;
  constexpr int kCodes = 200;
  int mismatches = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::thread pusher([] {
      for (KeyCode code = 1; code <= kCodes; ++code) push_key(code);
    });
    int expected = 1;
    while (expected <= kCodes) {
      const std::string text = read_key();
      if (text.empty()) continue;
      if (static_cast<unsigned char>(text[0]) != expected) ++mismatches;
      ++expected;
    }
    pusher.join();
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_FALSE(key_available());
}

}  // namespace
}  // namespace zepa
