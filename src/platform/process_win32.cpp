#include <windows.h>
// windows.h first: shellapi.h and objbase.h need its types.
#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cfenv>
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

// The program's bytes as UTF-16, read in the system's code page; empty when they cannot be.
std::wstring wide_text(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.pop_back();  // the terminating zero
  return wide;
}

bool is_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::atomic<bool> g_recording{false};

BOOL WINAPI wait_for_record(DWORD) {
  while (g_recording) Sleep(1);
  return FALSE;  // the next handler, then the default action, as without this one
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
    // A pipe whose writer has gone, or a file read at its end, is the end of the input; any
    // other failure (a device error, a handle not open for reading) is a failed read, which
    // ends the program with status 1 rather than taking what came before it as a whole item.
    const DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : -1;
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

  // "start" opens the address with the program the user has chosen for it. The address is the
  // program's own, so the command processor finds nothing in it to expand. It keeps the
  // trailing blank of the command line the program has always handed over.
  std::string help_command(std::string_view url) override {
    return "cmd /c start " + std::string(url) + " ";
  }

  int run_command(const std::string& command) override { return std::system(command.c_str()); }

  // The shell opens the file itself: no command processor sees the path, which may hold the
  // characters cmd expands or splits on (%VAR%, !, ^, &). wine's shell expands %VAR% in the
  // file it is given whatever the flags say, so it is given the page's own name, in its
  // folder made current for the call. No user interface of the shell's own: a file kind
  // without a program is a failure, which the dialogue reports.
  int open_file(const std::string& path) override {
    const std::wstring full = wide_text(path);
    const std::size_t slash = full.find_last_of(L"\\/");
    if (full.empty() || slash == std::wstring::npos) return -1;
    const std::wstring folder = full.substr(0, slash + 1);
    const std::wstring name = full.substr(slash + 1);
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring before(size, L'\0');
    if (size == 0 || GetCurrentDirectoryW(size, before.data()) + 1 != size ||
        !SetCurrentDirectoryW(folder.c_str())) {
      return -1;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = name.c_str();
    info.nShow = SW_SHOWNORMAL;
    // The shell may hand the file to an extension that is a COM object: its documentation asks
    // for COM on the calling thread, without OLE1's DDE.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const bool opened = ShellExecuteExW(&info) != 0;
    const DWORD error = GetLastError();
    if (SUCCEEDED(com)) CoUninitialize();
    SetCurrentDirectoryW(before.c_str());  // the memo file stays where the user started
    if (opened) return 0;
    return error != 0 ? static_cast<int>(error) : 1;
  }

  // The console's control events (Ctrl+C, Ctrl+Break, a close) reach a handler on a thread of
  // their own; while a memo is written that handler waits for it before the default action
  // ends the process. It is installed at the first memo and is the first handler asked.
  void hold_signals() override {
    if (held_++ > 0) return;
    static const bool installed = SetConsoleCtrlHandler(wait_for_record, TRUE) != 0;
    (void)installed;
    g_recording = true;
  }

  void release_signals() override {
    if (held_ == 0 || --held_ > 0) return;
    g_recording = false;
  }

  // A Windows console gives no hang-up to a read: this is never called there. ExitProcess runs
  // none of the exit work, so the console's input mode is put back here.
  [[noreturn]] void end_hung_up() override {
    restore_console_input_mode();
    ExitProcess(1);
  }

  char directory_separator() override { return '\\'; }

 private:
  int held_ = 0;
};

}  // namespace

Platform native_platform() {
  // The calculation is defined for rounding to nearest, which every process starts with; but
  // a DLL loaded into this one (a printer driver, a shell extension) may have changed it.
  std::fesetround(FE_TONEAREST);
  static WindowsProcess process;
  return Platform{&console_screen(), &console_keys(), &process, &native_files()};
}

}  // namespace zepa
