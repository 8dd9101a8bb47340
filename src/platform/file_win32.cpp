#include <windows.h>

#include <climits>

#include "platform/file.h"

namespace zepa {

namespace {

HANDLE handle_of(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

class WindowsFiles final : public Files {
 public:
  FileHandle open_append(const char* path) override {
    // CreateFile does not wait on a file, a pipe without a reader or a device: no flag is
    // needed for an open that never blocks. Other programs may read and append meanwhile.
    // GENERIC_WRITE (not append access alone) so that a torn memo can be cut back.
    const HANDLE h = CreateFileA(path, GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
  }

  std::int64_t end_position(FileHandle file) override {
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    if (GetFileType(handle_of(file)) != FILE_TYPE_DISK) return -1;
    if (!SetFilePointerEx(handle_of(file), zero, &end, FILE_END)) return -1;
    return static_cast<std::int64_t>(end.QuadPart);
  }

  long append(FileHandle file, const unsigned char* bytes, std::size_t n) override {
    // Both offsets all ones: the system places the bytes at the end of the file in the write
    // itself, as an append-only handle would, whoever else appends.
    OVERLAPPED at_end{};
    at_end.Offset = 0xFFFFFFFF;
    at_end.OffsetHigh = 0xFFFFFFFF;
    const DWORD size = n > static_cast<std::size_t>(INT_MAX) ? static_cast<DWORD>(INT_MAX)
                                                             : static_cast<DWORD>(n);
    DWORD taken = 0;
    if (!WriteFile(handle_of(file), bytes, size, &taken, &at_end) && taken == 0) return -1;
    return static_cast<long>(taken);
  }

  bool cut_back(FileHandle file, std::int64_t expected, std::int64_t size) override {
    LARGE_INTEGER current{};
    if (!GetFileSizeEx(handle_of(file), &current) || current.QuadPart != expected) return false;
    LARGE_INTEGER target{};
    target.QuadPart = size;
    return SetFilePointerEx(handle_of(file), target, nullptr, FILE_BEGIN) &&
           SetEndOfFile(handle_of(file));
  }

  bool close(FileHandle file) override { return CloseHandle(handle_of(file)) != 0; }
};

}  // namespace

Files& native_files() {
  static WindowsFiles files;
  return files;
}

}  // namespace zepa
