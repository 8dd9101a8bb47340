#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/file.h"

namespace zepa::testing {

// One file in memory, checked as the channels use it (reserve and cut_back under the lock). It
// takes at most `room` more bytes and refuses to reserve more than `reservable`; `foreign`
// bytes are appended by a program that takes no lock between the open and the first write.
class MemoryFiles : public Files {
 public:
  std::string content;
  long room = 1 << 30;
  long reservable = 1 << 30;
  std::string foreign;
  bool openable = true;
  bool has_position = true;
  bool lockable = true;
  bool close_fails = false;
  bool sync_fails = false;
  bool is_output = false;         // the file is standard output's
  int syncs = 0;                  // sync and sync_path calls, failed or not
  std::function<void()> at_open;  // runs at each open, before it succeeds or fails
  int open_files = 0;
  int appends = 0;

  FileHandle open_append(const char*) override;
  bool lock(FileHandle) override;
  std::int64_t end_position(FileHandle) override;
  bool reserve(FileHandle, std::int64_t end, std::size_t n) override;
  long append(FileHandle, const unsigned char* bytes, std::size_t n) override;
  bool sync(FileHandle) override;
  bool sync_path(const char*) override;
  bool cut_back(FileHandle, std::int64_t expected, std::int64_t size) override;
  bool close(FileHandle) override;

 private:
  bool locked_ = false;
};

}  // namespace zepa::testing
