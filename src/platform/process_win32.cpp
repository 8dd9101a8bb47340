#include <windows.h>

#include <climits>
#include <cstdlib>

#include "platform/console_win32.h"
#include "platform/platform.h"

namespace zepa {

namespace {

DWORD chunk_of(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? static_cast<DWORD>(INT_MAX)
                                                  : static_cast<DWORD>(size);
}

class WindowsProcess final : public Process {
 public:
  // Only a console has a console mode; files, pipes and the null device have none.
  InputKind input_kind() override {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? InputKind::kConsole
                                                                 : InputKind::kRedirected;
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

  // "start" opens the address with the user's browser; the trailing blank is part of the
  // command line the program has always handed over.
  std::string help_command(std::string_view url) override {
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
