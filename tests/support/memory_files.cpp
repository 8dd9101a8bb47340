#include "support/memory_files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zepa::testing {

FileHandle MemoryFiles::open_append(const char*) {
  if (at_open) at_open();
  if (!openable) return kNoFile;
  ++open_files;
  return 3;
}

bool MemoryFiles::lock(FileHandle) {
  locked_ = lockable;
  return lockable;
}

std::int64_t MemoryFiles::end_position(FileHandle) {
  if (is_output) return kStandardOutput;
  return has_position ? static_cast<std::int64_t>(content.size()) : kNoEnd;
}

bool MemoryFiles::reserve(FileHandle, std::int64_t end, std::size_t n) {
  EXPECT_TRUE(locked_);
  EXPECT_EQ(end, static_cast<std::int64_t>(content.size()));
  return static_cast<long>(n) <= reservable;
}

long MemoryFiles::append(FileHandle, const unsigned char* bytes, std::size_t n) {
  ++appends;
  content += foreign;
  foreign.clear();
  const long taken = std::min(room, static_cast<long>(n));
  if (taken == 0) return -1;
  room -= taken;
  content.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(taken));
  return taken;
}

bool MemoryFiles::sync(FileHandle) {
  ++syncs;
  return !sync_fails;
}

bool MemoryFiles::sync_path(const char*) {
  ++syncs;
  return !sync_fails;
}

bool MemoryFiles::cut_back(FileHandle, std::int64_t expected, std::int64_t size) {
  EXPECT_TRUE(locked_);
  if (static_cast<std::int64_t>(content.size()) != expected) return false;
  content.resize(static_cast<std::size_t>(size));
  return true;
}

bool MemoryFiles::close(FileHandle) {
  --open_files;
  locked_ = false;
  return !close_fails;
}

}  // namespace zepa::testing
