#pragma once

#include <cstddef>
#include <cstdint>

namespace zepa {

// An open file of the platform (a descriptor or a handle); kNoFile names none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The files the program appends to: the memo file, one open, one write and one close a case.
class Files {
 public:
  virtual ~Files() = default;

  // Opens `path` for appending, creating it when missing, and never waits: a named pipe
  // without a reader, or a device that would block, fails at once. kNoFile when it fails.
  virtual FileHandle open_append(const char* path) = 0;
  // The file's end, the position its next bytes go to; -1 when it has none (a pipe).
  virtual std::int64_t end_position(FileHandle file) = 0;
  // Appends the bytes in one call, at the end of the file whoever else writes to it: the
  // count taken, which may be short (a full disk), or -1 when none was.
  virtual long append(FileHandle file, const unsigned char* bytes, std::size_t n) = 0;
  // Cuts a regular file back to `size` bytes, only when it still holds exactly `expected`
  // bytes (no one else has appended since): true when it was cut.
  virtual bool cut_back(FileHandle file, std::int64_t expected, std::int64_t size) = 0;
  // Closes the file: false when the system reports a failure.
  virtual bool close(FileHandle file) = 0;
};

// The files of the platform the program was built for (one file per platform).
Files& native_files();

}  // namespace zepa
