#pragma once

#include <cstddef>
#include <cstdint>

namespace zepa {

// An open file of the platform (a descriptor or a handle); kNoFile names none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// How long lock() waits for another of the program's processes while the file does not
// change. A memo is written in well under a millisecond, and each one that lands changes the
// file: a queue of copies, however long, or a slow disk keeps the wait going; only a stuck
// writer (a process stopped by a debugger, a hung network file system) makes it give up.
inline constexpr int kLockWaitMs = 3000;

// end_position's answers that are no position.
inline constexpr std::int64_t kNoEnd = -1;           // the file has none (a pipe)
inline constexpr std::int64_t kStandardOutput = -2;  // the very file standard output writes to

// The files the program appends to: the memo file. One case takes: open_append, lock,
// end_position, reserve, append, (sync,) close; cut_back only when an append came up short.
class Files {
 public:
  virtual ~Files() = default;

  // Opens `path` for appending, creating it when missing, and never waits: a named pipe
  // without a reader, or a device that would block, fails at once. kNoFile when it fails.
  virtual FileHandle open_append(const char* path) = 0;
  // Takes the file for this process alone among the program's processes (an advisory lock
  // that other programs do not see), waiting while another holds it, until the file has not
  // changed (in size or in its last write) for kLockWaitMs. False when it stays taken or the
  // file system cannot lock. close() gives it back.
  virtual bool lock(FileHandle file) = 0;
  // The file's end, the position its next bytes go to; kNoEnd when it has none (a pipe), and
  // kStandardOutput when it is the file that standard output writes to (the same device and
  // inode, the same volume and file id on Windows): there the dialogue's own bytes go at
  // standard output's position, over whatever was appended.
  virtual std::int64_t end_position(FileHandle file) = 0;
  // Makes sure that `n` more bytes at `end` will land, before any is written: false when the
  // file-size limit or the disk's free space refuses them. Where the file system cannot set
  // space aside (a device, some network file systems) it is true, and the write finds out.
  virtual bool reserve(FileHandle file, std::int64_t end, std::size_t n) = 0;
  // Appends the bytes in one call, at the end of the file whoever else writes to it: the
  // count taken, which may be short (a full disk), or -1 when none was.
  virtual long append(FileHandle file, const unsigned char* bytes, std::size_t n) = 0;
  // Waits until the file's bytes are on the disk, not only in the system's cache: false when
  // the system reports that they may not be.
  virtual bool sync(FileHandle file) = 0;
  // The same for the existing file `path` (never created), opened for the call and closed.
  virtual bool sync_path(const char* path) = 0;
  // Cuts a regular file back to `size` bytes, only when it still holds exactly `expected`
  // bytes: true when it was cut. Called under the lock, so the bytes past `size` are this
  // process's own; the size check also spares a program that appends without the lock.
  virtual bool cut_back(FileHandle file, std::int64_t expected, std::int64_t size) = 0;
  // Closes the file and gives back its lock: false when the system reports a failure (a
  // network file system that could not write the bytes out, say).
  virtual bool close(FileHandle file) = 0;
};

// The files of the platform the program was built for (one file per platform).
Files& native_files();

}  // namespace zepa
