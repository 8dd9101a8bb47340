#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/file.h"

namespace zepa {

namespace {

std::int64_t now_ns() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Whether `n` bytes more at `end` stay within the file-size limit: past it the write would be
// cut short (SIGXFSZ is ignored, so it fails with EFBIG rather than ending the program).
bool within_size_limit(std::int64_t end, std::size_t n) {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
  return static_cast<std::uint64_t>(end) + n <= static_cast<std::uint64_t>(limit.rlim_cur);
}

// One try at the lock, without waiting for it: false with errno EWOULDBLOCK while another
// holds it.
bool try_lock(int fd) {
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// What another writer changes in the file: its size, and the time of its last change (a memo
// that lands, or one cut back).
struct FileMark {
  off_t size = -1;
  struct timespec changed {};

  explicit FileMark(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return;
    size = info.st_size;
    changed = info.st_ctim;
  }
  bool operator==(const FileMark& other) const {
    return size == other.size && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec;
  }
};

class PosixFiles final : public Files {
 public:
  // Standard output's file as the program found it, once: a memo opened later may take a
  // descriptor that standard output left free.
  PosixFiles() { has_output_ = fstat(STDOUT_FILENO, &output_) == 0; }

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

  // flock() has no time limit of its own: the lock is tried, and tried again after pauses
  // that grow from 50 us to 5 ms. Each change of the file (another copy's memo landing) starts
  // the bound again.
  bool lock(FileHandle file) override {
    const int fd = static_cast<int>(file);
    if (try_lock(fd)) return true;
    if (errno != EWOULDBLOCK) return false;
    FileMark seen(fd);
    std::int64_t deadline = now_ns() + std::int64_t{kLockWaitMs} * 1000000;
    long pause_ns = 50000;
    while (now_ns() < deadline) {
      const struct timespec pause = {0, pause_ns};
      nanosleep(&pause, nullptr);
      if (pause_ns < 5000000) pause_ns *= 2;
      if (try_lock(fd)) return true;
      if (errno != EWOULDBLOCK) return false;
      const FileMark now(fd);
      if (!(now == seen)) {
        seen = now;
        deadline = now_ns() + std::int64_t{kLockWaitMs} * 1000000;
      }
    }
    return false;
  }

  // A regular file's size is its end (every writer appends under the lock), and the same
  // fstat() tells whether it is standard output's file: one call where lseek() took one.
  std::int64_t end_position(FileHandle file) override {
    const int fd = static_cast<int>(file);
    struct stat info {};
    if (fstat(fd, &info) != 0) return kNoEnd;
    if (has_output_ && info.st_dev == output_.st_dev && info.st_ino == output_.st_ino) {
      return kStandardOutput;
    }
    if (S_ISREG(info.st_mode)) return static_cast<std::int64_t>(info.st_size);
    const off_t end = lseek(fd, 0, SEEK_END);
    return end < 0 ? kNoEnd : static_cast<std::int64_t>(end);
  }

  // The blocks are allocated beyond the end without moving it (FALLOC_FL_KEEP_SIZE, which an
  // append-only file allows too), so the write that follows cannot find the disk full. A file
  // system or a file kind without fallocate (a device, EOPNOTSUPP, ENODEV) is let through.
  bool reserve(FileHandle file, std::int64_t end, std::size_t n) override {
    if (!within_size_limit(end, n)) return false;
#ifdef FALLOC_FL_KEEP_SIZE
    for (;;) {
      if (fallocate(static_cast<int>(file), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(end),
                    static_cast<off_t>(n)) == 0) {
        return true;
      }
      if (errno != EINTR) break;
    }
    return errno != ENOSPC && errno != EDQUOT && errno != EFBIG;
#else
    (void)file;
    return true;
#endif
  }

  // A device that would block (the descriptor is non-blocking) takes nothing rather than
  // holding the program, whose signals wait meanwhile.
  long append(FileHandle file, const unsigned char* bytes, std::size_t n) override {
    for (;;) {
      const ssize_t taken = write(static_cast<int>(file), bytes, n);
      if (taken >= 0 || errno != EINTR) return static_cast<long>(taken);
    }
  }

  // fdatasync: the bytes and the size that reaches them, not the times.
  bool sync(FileHandle file) override {
    for (;;) {
      if (fdatasync(static_cast<int>(file)) == 0) return true;
      if (errno != EINTR) return false;
    }
  }

  // For writing, as the memo is opened (an append-only file allows only that), never created.
  bool sync_path(const char* path) override {
    int fd = -1;
    do {
      fd = open(path, O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    const bool synced = sync(fd);
    return close(fd) && synced;
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

 private:
  struct stat output_ {};
  bool has_output_ = false;
};

}  // namespace

Files& native_files() {
  static PosixFiles files;
  return files;
}

}  // namespace zepa
