#include <windows.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/console_win32.h"
#include "platform/file_url.h"
#include "platform/platform.h"

namespace zepa {

namespace {

DWORD chunk_of(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? static_cast<DWORD>(INT_MAX)
                                                  : static_cast<DWORD>(size);
}

bool is_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

class WindowsProcess final : public Process {
 public:
  // Only a console has a console mode; files, pipes and the null device have none.
  InputKind input_kind() override {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? InputKind::kConsole
                                                                 : InputKind::kRedirected;
  }

  bool batch() const override {
    DWORD mode = 0;
    return !GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) &&
           !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
  }

  long read_input(unsigned char* buffer, std::size_t size) override {
    DWORD count = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, chunk_of(size), &count, nullptr)) {
      return static_cast<long>(count);
    }
    // A pipe whose writer has gone is the end of the input, not a failure.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }

  long write_output(const unsigned char* bytes, std::size_t size) override {
    DWORD count = 0;
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, chunk_of(size), &count, nullptr)) {
      return -1;
    }
    return static_cast<long>(count);
  }

  void write_error(std::string_view text) override {
    DWORD count = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), chunk_of(text.size()), &count, nullptr);
  }

  std::string installed_file(std::string_view name) override {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};  // failed, or the path was cut short
    const std::string_view bin = parent_directory(std::string_view(buffer, n));
    if (bin.empty()) return {};
    std::string share = std::string(parent_directory(bin)) + '\\' + kShareDirectory;
    for (char& ch : share) {
      if (ch == '/') ch = '\\';
    }
    const std::string candidates[] = {std::string(bin) + '\\' + std::string(name),
                                      share + '\\' + std::string(name)};
    for (const std::string& candidate : candidates) {
      if (is_file(candidate)) return candidate;
    }
    return {};
  }

  // "start" opens a file or an address with the program the user has chosen for it. Its first
  // quoted argument is the window title, hence the empty one before the quoted path (a Windows
  // path holds no double quote). The web address keeps the trailing blank of the command line
  // the program has always handed over.
  std::string help_command(std::string_view page, std::string_view url) override {
    if (!page.empty()) return "cmd /c start \"\" \"" + std::string(page) + "\"";
    return "cmd /c start " + std::string(url) + " ";
  }

  int run_command(const std::string& command) override { return std::system(command.c_str()); }

  char directory_separator() override { return '\\'; }
};

}  // namespace

Platform native_platform() {
  static WindowsProcess process;
  return Platform{&console_screen(), &console_keys(), &process, &native_files()};
}

}  // namespace zepa
