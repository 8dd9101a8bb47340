#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"

namespace zepa {

namespace {

class PosixFiles final : public Files {
 public:
  FileHandle open_append(const char* path) override {
    // O_NONBLOCK: a FIFO without a reader fails with ENXIO instead of waiting for one, and a
    // device does not hold the open. Writes to a regular file ignore the flag, so it is left
    // set. O_APPEND puts every write at the end, so concurrent programs never overwrite each
    // other's memos.
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC;
    for (;;) {
      const int fd = open(path, flags, 0666);
      if (fd >= 0 || errno != EINTR) return fd;
    }
  }

  std::int64_t end_position(FileHandle file) override {
    const off_t end = lseek(static_cast<int>(file), 0, SEEK_END);
    return end < 0 ? -1 : static_cast<std::int64_t>(end);
  }

  long append(FileHandle file, const unsigned char* bytes, std::size_t n) override {
    for (;;) {
      const ssize_t taken = write(static_cast<int>(file), bytes, n);
      if (taken >= 0 || errno != EINTR) return static_cast<long>(taken);
    }
  }

  bool cut_back(FileHandle file, std::int64_t expected, std::int64_t size) override {
    struct stat info;
    if (fstat(static_cast<int>(file), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (static_cast<std::int64_t>(info.st_size) != expected) return false;
    return ftruncate(static_cast<int>(file), static_cast<off_t>(size)) == 0;
  }

  bool close(FileHandle file) override {
    // After an interrupted close the descriptor is gone on Linux: it is never retried.
    return ::close(static_cast<int>(file)) == 0;
  }
};

}  // namespace

Files& native_files() {
  static PosixFiles files;
  return files;
}

}  // namespace zepa
