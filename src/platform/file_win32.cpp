#include <windows.h>

#include <climits>

#include "platform/file.h"

namespace zepa {

namespace {

HANDLE handle_of(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

// A file as the system names it (its volume and its index there) and what another writer
// changes in it (its size, its last write).
struct FileFacts {
  bool known = false;
  BY_HANDLE_FILE_INFORMATION info{};

  explicit FileFacts(HANDLE h) : known(GetFileInformationByHandle(h, &info) != 0) {}
  bool same_file(const FileFacts& other) const {
    return known && other.known && info.dwVolumeSerialNumber == other.info.dwVolumeSerialNumber &&
           info.nFileIndexHigh == other.info.nFileIndexHigh &&
           info.nFileIndexLow == other.info.nFileIndexLow;
  }
  bool same_state(const FileFacts& other) const {
    return known == other.known && info.nFileSizeHigh == other.info.nFileSizeHigh &&
           info.nFileSizeLow == other.info.nFileSizeLow &&
           CompareFileTime(&info.ftLastWriteTime, &other.info.ftLastWriteTime) == 0;
  }
  std::int64_t size() const {
    return static_cast<std::int64_t>((ULONGLONG{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  }
};

class WindowsFiles final : public Files {
 public:
  // Standard output's file as the program found it.
  WindowsFiles() : output_(GetStdHandle(STD_OUTPUT_HANDLE)) {}

  FileHandle open_append(const char* path) override {
    // CreateFile does not wait on a file, a pipe without a reader or a device: no flag is
    // needed for an open that never blocks. Other programs may read and append meanwhile.
    // GENERIC_WRITE (not append access alone) so that a torn memo can be cut back.
    const HANDLE h =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
  }

  // The lock covers one byte far beyond any file's end: Windows locks are mandatory, so a lock
  // on the memo's own bytes would keep other programs from reading them meanwhile. It is tried
  // again after pauses of 1 ms to 8 ms; each change of the file starts the bound again.
  bool lock(FileHandle file) override {
    ULONGLONG deadline = GetTickCount64() + kLockWaitMs;
    FileFacts seen(handle_of(file));
    DWORD pause = 1;
    for (;;) {
      OVERLAPPED at = lock_byte();
      if (LockFileEx(handle_of(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &at)) {
        return true;
      }
      if (GetLastError() != ERROR_LOCK_VIOLATION) return false;
      const FileFacts now(handle_of(file));
      if (!now.same_state(seen)) {
        seen = now;
        deadline = GetTickCount64() + kLockWaitMs;
      }
      if (GetTickCount64() >= deadline) return false;
      Sleep(pause);
      if (pause < 8) pause *= 2;
    }
  }

  // A disk file's size is its end: every writer appends under the lock.
  std::int64_t end_position(FileHandle file) override {
    if (GetFileType(handle_of(file)) != FILE_TYPE_DISK) return kNoEnd;
    const FileFacts facts(handle_of(file));
    if (!facts.known) return kNoEnd;
    if (facts.same_file(output_)) return kStandardOutput;
    return facts.size();
  }

  // Windows sets no space aside without a risk: a smaller allocation than the file's size
  // (another program's bytes appended meanwhile) would cut the file. A write that does not fit
  // fails whole on NTFS, and a short one is cut back under the lock.
  bool reserve(FileHandle, std::int64_t, std::size_t) override { return true; }

  long append(FileHandle file, const unsigned char* bytes, std::size_t n) override {
    // Both offsets all ones: the system places the bytes at the end of the file in the write
    // itself, as an append-only handle would, whoever else appends.
    OVERLAPPED at_end{};
    at_end.Offset = 0xFFFFFFFF;
    at_end.OffsetHigh = 0xFFFFFFFF;
    const DWORD size =
        n > static_cast<std::size_t>(INT_MAX) ? static_cast<DWORD>(INT_MAX) : static_cast<DWORD>(n);
    DWORD taken = 0;
    if (!WriteFile(handle_of(file), bytes, size, &taken, &at_end) && taken == 0) return -1;
    return static_cast<long>(taken);
  }

  bool sync(FileHandle file) override { return FlushFileBuffers(handle_of(file)) != 0; }

  // FlushFileBuffers needs write access; the file is never created here.
  bool sync_path(const char* path) override {
    const HANDLE h =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool synced = FlushFileBuffers(h) != 0;
    return CloseHandle(h) != 0 && synced;
  }

  bool cut_back(FileHandle file, std::int64_t expected, std::int64_t size) override {
    LARGE_INTEGER current{};
    if (!GetFileSizeEx(handle_of(file), &current) || current.QuadPart != expected) return false;
    LARGE_INTEGER target{};
    target.QuadPart = size;
    return SetFilePointerEx(handle_of(file), target, nullptr, FILE_BEGIN) &&
           SetEndOfFile(handle_of(file));
  }

  // The lock is given back first: a closed handle's locks go only when the system gets to it.
  bool close(FileHandle file) override {
    OVERLAPPED at = lock_byte();
    UnlockFileEx(handle_of(file), 0, 1, 0, &at);
    return CloseHandle(handle_of(file)) != 0;
  }

 private:
  static OVERLAPPED lock_byte() {
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFE;
    at.OffsetHigh = 0x7FFFFFFF;
    return at;
  }

  FileFacts output_;
};

}  // namespace

Files& native_files() {
  static WindowsFiles files;
  return files;
}

}  // namespace zepa
