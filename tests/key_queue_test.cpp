#include "console/key_queue.h"

#include <gtest/gtest.h>

namespace zepa {
namespace {

TEST(KeyQueue, FullQueueDropsTheOldestCode) {
  reset_key_queue();
  EXPECT_EQ(key_queue_room(), 511);
  for (int i = 0; i < 511; ++i) push_key(i % 200 + 32);
  EXPECT_EQ(key_queue_room(), 0);
  EXPECT_EQ(pop_key(), 32);  // 511 codes fit: the first is still there
  push_key(kKeyHome);        // back to 511 waiting
  push_key(kKeyEnd);         // one more drops the oldest (33)
  EXPECT_EQ(pop_key(), 34);
  for (int i = 2; i < 510; ++i) pop_key();
  EXPECT_EQ(pop_key(), kKeyHome);
  EXPECT_EQ(pop_key(), kKeyEnd);
  EXPECT_TRUE(key_queue_empty());
  EXPECT_EQ(pop_key(), kNoKey);
  push_key(kNoKey);  // no key is no code
  EXPECT_TRUE(key_queue_empty());
}

}  // namespace
}  // namespace zepa
