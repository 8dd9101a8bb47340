#include "platform/file_url.h"

#include <gtest/gtest.h>

namespace zepa {
namespace {

TEST(FileUrlTest, EncodesEveryByteButUnreservedOnesAndSlashes) {
  // A plain path stays as it is.
  EXPECT_EQ(file_url("/usr/share/zepa4-07/ajuda-zepa4-07.html"),
            "file:///usr/share/zepa4-07/ajuda-zepa4-07.html");
  // Unreserved punctuation and the tilde are kept.
  EXPECT_EQ(file_url("/a_b.c~d-e"), "file:///a_b.c~d-e");
  // Blanks, quotes, "%", "#", "?" and shell characters are encoded, in upper-case hex.
  EXPECT_EQ(file_url("/x y/'q'\"%#?&;$`"), "file:///x%20y/%27q%27%22%25%23%3F%26%3B%24%60");
  // Bytes above 127 (UTF-8 here) are encoded byte by byte; so are the controls.
  EXPECT_EQ(file_url("/p\xC3\xA1gina\x7F\x01"), "file:///p%C3%A1gina%7F%01");
}

TEST(FileUrlTest, ParentDirectoryDropsTheLastComponent) {
  EXPECT_EQ(parent_directory("/usr/bin/zepa4-07"), "/usr/bin");
  EXPECT_EQ(parent_directory("/zepa4-07"), "");  // the root: nothing before the separator
  EXPECT_EQ(parent_directory("zepa4-07"), "");   // no separator at all
  EXPECT_EQ(parent_directory("C:\\z\\zepa4-07.exe"), "C:\\z");
  EXPECT_EQ(parent_directory("C:\\z/bin\\x"), "C:\\z/bin");
}

}  // namespace
}  // namespace zepa
