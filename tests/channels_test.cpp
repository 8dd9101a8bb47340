#include "sys/channels.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "console/print.h"
#include "platform/platform.h"
#include "support/memory_files.h"
#include "support/memory_process.h"
#include "support/temp_dir.h"

namespace zepa {
namespace {

class ChannelsTest : public ::testing::Test {
 protected:
  testing::RedirectedPlatform platform_;
  testing::TempDir dir_;
};

TEST_F(ChannelsTest, AppendsBytesUnchangedAfterWhateverTheFileHolds) {
  // A new file starts at its first byte.
  ASSERT_EQ(open_append("m.txt", 1), kDone);
  EXPECT_EQ(print_text(1, "C\xE1lculo \xB0", kEndLine), kDone);
  EXPECT_EQ(print_text(1, "r=", kEndNone), kDone);
  EXPECT_EQ(print_number(1, 5, kEndLine), kDone);
  EXPECT_EQ(print_text(1, "", kEndLine), kDone);  // an empty text still ends its line
  EXPECT_EQ(close_channel(1), kDone);
  EXPECT_EQ(dir_.read("m.txt"), "C\xE1lculo \xB0\r\nr= 5\r\n\r\n");

  // An existing file without a final line end: the next bytes join its last line.
  dir_.write("n.txt", "old");
  ASSERT_EQ(open_append("n.txt", 7), kDone);
  print_text(7, "new", kEndLine);
  close_channel(7);
  EXPECT_EQ(dir_.read("n.txt"), "oldnew\r\n");
}

TEST_F(ChannelsTest, RefusesWhatNamesNoFreeChannel) {
  for (int channel : {0, 256, -1}) {
    EXPECT_EQ(open_append("x.txt", channel), kInvalidRequest);
    EXPECT_EQ(close_channel(channel), kInvalidRequest);
  }
  EXPECT_FALSE(std::filesystem::exists("x.txt"));
  EXPECT_EQ(print_text(256, "lost", kEndLine), kInvalidRequest);

  // A second open keeps the first file open and receiving.
  ASSERT_EQ(open_append("first.txt", 1), kDone);
  EXPECT_EQ(open_append("second.txt", 1), kInvalidRequest);
  print_text(1, "kept", kEndNone);
  EXPECT_EQ(close_channel(1), kDone);
  EXPECT_EQ(close_channel(1), kInvalidRequest);
  EXPECT_EQ(dir_.read("first.txt"), "kept");
  EXPECT_FALSE(std::filesystem::exists("second.txt"));

  // Writes to a free channel do nothing and say so.
  EXPECT_EQ(print_text(1, "lost", kEndLine), kInvalidRequest);
  EXPECT_EQ(write_bytes(nullptr, nullptr, 0), kInvalidRequest);
}

TEST_F(ChannelsTest, ReportsEveryWayTheBytesFailToLand) {
  // A directory cannot be opened for appending; the channel stays free.
  std::filesystem::create_directory("mc.txt");
  EXPECT_EQ(open_append("mc.txt", 1), kOpenFailed);
  EXPECT_FALSE(channel_record(1)->open);

  // A full disk takes the bytes into the buffer and refuses them at the close.
  if (std::filesystem::exists("/dev/full")) {
    ASSERT_EQ(open_append("/dev/full", 1), kDone);
    EXPECT_EQ(print_text(1, "memo", kEndLine), kDone);
    EXPECT_EQ(close_channel(1), kShortWrite);
    EXPECT_FALSE(channel_record(1)->open);
  }
}

TEST_F(ChannelsTest, NamesWithSlashesAndTheSweepAtTheEnd) {
  std::filesystem::create_directory("sub");
  ASSERT_EQ(open_append("sub/a.txt", 3), kDone);
  ASSERT_EQ(open_append("b.txt", 255), kDone);
  print_text(3, "three", kEndNone);
  print_text(255, "last", kEndNone);
  close_all_channels();
  EXPECT_EQ(dir_.read("sub/a.txt"), "three");
  EXPECT_EQ(dir_.read("b.txt"), "last");
  EXPECT_EQ(close_channel(3), kInvalidRequest);
}

TEST_F(ChannelsTest, ColumnAndPrintZonesOnAChannelWithoutWidth) {
  ASSERT_EQ(open_append("z.txt", 1), kDone);
  ChannelRecord* record = channel_record(1);
  print_text(1, "ab\r\ncd", kEndNone);
  EXPECT_EQ(record->column, 2u);
  print_end(1, kEndZone);  // column 2 -> zone at 15: 12 blanks
  EXPECT_EQ(record->column, 14u);
  print_end(1, kEndZone);  // column 14 -> zone at 29: 14 blanks
  print_text(1, std::string(100, 'x'),
             kEndZone);  // column 128 -> zone at 141; no width, no line end
  print_end(1, kEndLine4);
  EXPECT_EQ(record->column, 0u);
  close_channel(1);
  EXPECT_EQ(dir_.read("z.txt"), "ab\r\ncd" + std::string(26, ' ') + std::string(100, 'x') +
                                    std::string(12, ' ') + "\r\n");
}

TEST(AdvanceColumn, TheLastLineEndWhereverItStands) {
  // A 20-byte text with one line end (LF, CR, or a byte next to them that is none) at each
  // place: the column is the count after it, or grows by 20 when there is none.
  for (const unsigned char end : {10, 13, 9, 11, 12, 14, 138, 141}) {
    const bool line_end = end == 10 || end == 13;
    for (std::size_t at = 0; at < 20; ++at) {
      std::string text(20, 'x');
      text[at] = static_cast<char>(end);
      std::uint32_t column = 5;
      advance_column(column, 0, reinterpret_cast<const unsigned char*>(text.data()), 20);
      EXPECT_EQ(column, line_end ? 19 - at : 25) << int{end} << " at " << at;
    }
  }
  std::uint32_t column = 7;
  advance_column(column, 8, reinterpret_cast<const unsigned char*>("abc"), 3);
  EXPECT_EQ(column, 2u);  // modulo the width
  advance_column(column, 0, reinterpret_cast<const unsigned char*>(""), 0);
  EXPECT_EQ(column, 2u);
}

class ChannelFaultsTest : public ::testing::Test {
 protected:
  ChannelFaultsTest() { platform().files = &files_; }
  ~ChannelFaultsTest() override { platform().files = nullptr; }
  // Opens channel 1, prints `text` and closes it: the close's result.
  int append(const std::string& text) {
    EXPECT_EQ(open_append("m.txt", 1), kDone);
    print_text(1, text, kEndNone);
    return close_channel(1);
  }
  testing::RedirectedPlatform platform_;
  testing::MemoryFiles files_;
};

TEST_F(ChannelFaultsTest, WholeOrNothingOfWhatOneOpeningWrites) {
  const std::string memo(700, 'm');
  // A memo reaches the file in one write at the close.
  files_.content = "old";
  EXPECT_EQ(append(memo), kDone);
  EXPECT_EQ(files_.content, "old" + memo);
  EXPECT_EQ(files_.appends, 1);
  EXPECT_FALSE(channel_record(1)->open);

  // A full disk takes 100 bytes of it: they are cut off again.
  files_.content = "old";
  files_.room = 100;
  EXPECT_EQ(append(memo), kShortWrite);
  EXPECT_EQ(files_.content, "old");

  // It takes nothing at all: nothing to cut, still reported.
  files_.room = 0;
  EXPECT_EQ(append(memo), kShortWrite);
  EXPECT_EQ(files_.content, "old");

  // Beyond the 8192-byte buffer: the first 8192 land, the rest is refused; both go.
  files_.room = 9000;
  EXPECT_EQ(open_append("m.txt", 1), kDone);
  EXPECT_EQ(print_text(1, std::string(8000, 'a'), kEndNone), kDone);
  EXPECT_EQ(print_text(1, std::string(8000, 'b'), kEndNone), kDone);
  EXPECT_EQ(close_channel(1), kShortWrite);
  EXPECT_EQ(files_.content, "old");

  // The disk or the size limit will not take it: refused before a byte is written.
  files_.room = 1 << 30;
  files_.reservable = 699;
  const int appends = files_.appends;
  EXPECT_EQ(append(memo), kShortWrite);
  EXPECT_EQ(files_.content, "old");
  EXPECT_EQ(files_.appends, appends);
  files_.reservable = 1 << 30;

  // A program that takes no lock appended after the open: its bytes and the fragment stay,
  // since cutting would take its memo too.
  files_.room = 100;
  files_.foreign = "other";
  EXPECT_EQ(append(memo), kShortWrite);
  EXPECT_EQ(files_.content, "oldother" + memo.substr(0, 100));

  // The close itself fails: the bytes were taken, so it is reported as unconfirmed.
  files_.content = "old";
  files_.room = 1 << 30;
  files_.close_fails = true;
  EXPECT_EQ(append(memo), kUnconfirmed);
  EXPECT_EQ(files_.content, "old" + memo);
  EXPECT_EQ(files_.open_files, 0);
}

TEST_F(ChannelFaultsTest, ASyncWritesOutTheBufferFirst) {
  // The buffered bytes are in the file before the sync, and the close has nothing left.
  EXPECT_EQ(open_append("m.txt", 1), kDone);
  print_text(1, "memo", kEndNone);
  EXPECT_EQ(sync_channel(1), kDone);
  EXPECT_EQ((std::pair{files_.content, files_.syncs}), (std::pair{std::string("memo"), 1}));
  files_.sync_fails = true;
  EXPECT_EQ(sync_channel(1), kUnconfirmed);
  EXPECT_EQ(close_channel(1), kDone);
  EXPECT_EQ(files_.appends, 1);
  // Refused bytes are not synced but cut at the close; a free channel has nothing to sync.
  files_.room = 2;
  EXPECT_EQ(open_append("m.txt", 1), kDone);
  print_text(1, "more", kEndNone);
  EXPECT_EQ(sync_channel(1), kShortWrite);
  EXPECT_EQ(close_channel(1), kShortWrite);
  EXPECT_EQ((std::pair{files_.content, files_.syncs}), (std::pair{std::string("memo"), 2}));
  EXPECT_EQ(sync_channel(1), kInvalidRequest);
  // A closed file by its name.
  EXPECT_EQ(sync_file("m.txt"), kUnconfirmed);
  files_.sync_fails = false;
  EXPECT_EQ(sync_file("m.txt"), kDone);
}

TEST_F(ChannelFaultsTest, SignalsWaitFromTheLockToTheClose) {
  // Held once the lock is had, released by the close, whatever the close found.
  EXPECT_EQ(open_append("m.txt", 1), kDone);
  EXPECT_EQ(platform_.process.signals_held, 1);
  files_.room = 10;
  print_text(1, "more than ten bytes", kEndNone);
  EXPECT_EQ(close_channel(1), kShortWrite);
  EXPECT_EQ(platform_.process.signals_held, 0);
  EXPECT_EQ(files_.content, "");

  // A lock that cannot be had: the open fails, the file is closed, nothing is held.
  files_.lockable = false;
  EXPECT_EQ(open_append("m.txt", 1), kOpenFailed);
  EXPECT_EQ(files_.open_files, 0);
  EXPECT_EQ(platform_.process.signals_held, 0);
  EXPECT_FALSE(channel_record(1)->open);

  // No position (a pipe with a reader), or standard output's own file: given up after the
  // lock, released, the file closed unwritten and the channel free.
  files_.lockable = true;
  for (const bool output : {false, true}) {
    files_.has_position = output;
    files_.is_output = output;
    const int appends = files_.appends;
    EXPECT_EQ(open_append("m.txt", 1), kInvalidRequest);
    EXPECT_EQ(platform_.process.signals_held, 0);
    EXPECT_EQ(files_.open_files, 0);
    EXPECT_FALSE(channel_record(1)->open);
    EXPECT_EQ(print_text(1, "lost", kEndLine), kInvalidRequest);
    EXPECT_EQ(close_channel(1), kInvalidRequest);
    EXPECT_EQ(files_.appends, appends);
  }
}

}  // namespace
}  // namespace zepa
