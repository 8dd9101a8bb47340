#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file_url.h"
#include "platform/platform.h"
#include "platform/terminal.h"

namespace zepa {

namespace {

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The executable's own path, symbolic links resolved, so that its directory is the real one.
std::string executable_path() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

class PosixProcess final : public Process {
 public:
  InputKind input_kind() override {
    // Standard input keeps its kind for the life of the process: asked once, not per line.
    static const InputKind kind = !isatty(STDIN_FILENO)         ? InputKind::kRedirected
                                  : terminal_addresses_cursor() ? InputKind::kConsole
                                                                : InputKind::kPlainTerminal;
    return kind;
  }

  bool batch() const override { return !isatty(STDIN_FILENO) && !isatty(STDOUT_FILENO); }

  bool transcript() override {
    static const bool on = input_kind() == InputKind::kConsole && terminal_output_fd() >= 0 &&
                           terminal_output_fd() != STDOUT_FILENO;
    return on;
  }

  long read_input(unsigned char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = read(STDIN_FILENO, buffer, size);
      if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
  }

  long write_output(const unsigned char* bytes, std::size_t size) override {
    if (plain_terminal_output()) return write_plain_terminal(bytes, size);
    for (;;) {
      const ssize_t n = write(STDOUT_FILENO, bytes, size);
      if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
  }

  void write_error(std::string_view text) override {
    // Standard error is the last resort: a failure there has nowhere to be reported.
    const ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
    (void)ignored;
  }

  std::string installed_file(std::string_view name) override {
    const std::string exe = executable_path();
    const std::string_view bin = parent_directory(exe);
    if (bin.empty()) return {};
    // The prefix is the bin directory's parent, taken from the resolved path rather than
    // through "..", so the path shown to the user is plain.
    const std::string candidates[] = {
        std::string(bin) + '/' + std::string(name),
        std::string(parent_directory(bin)) + '/' + kShareDirectory + '/' + std::string(name)};
    for (const std::string& candidate : candidates) {
      if (is_regular_file(candidate)) return candidate;
    }
    return {};
  }

  // The URL is percent-encoded and the web address is the program's own: neither holds a
  // single quote, so quoting them for the shell is safe.
  std::string help_command(std::string_view page, std::string_view url) override {
    return "xdg-open '" + (page.empty() ? std::string(url) : file_url(page)) + "'";
  }

  int run_command(const std::string& command) override {
    // The command gets the terminal as the user's shell would give it (a text-mode browser can
    // run there); the program's screen is painted again when it returns.
    const int terminal = terminal_output_fd();
    leave_terminal_mode();
    const pid_t child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_RDWR);
      if (!isatty(STDIN_FILENO) && null >= 0) dup2(null, STDIN_FILENO);
      const int out = terminal >= 0 ? terminal : null;
      if (out >= 0 && out != STDOUT_FILENO) dup2(out, STDOUT_FILENO);
      if (null >= 0) dup2(null, STDERR_FILENO);
      std::signal(SIGPIPE, SIG_DFL);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    bool waited = child > 0;
    while (waited && waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) waited = false;
    }
    reenter_terminal_mode();
    return waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  char directory_separator() override { return '/'; }

 private:
  // A terminal that cannot address the cursor still shows characters in the locale's set, as
  // the screen does at one that can; a redirected output gets the program's bytes unchanged.
  static bool plain_terminal_output() {
    static const bool plain = isatty(STDOUT_FILENO) && !terminal_addresses_cursor();
    return plain;
  }

  // The whole text or a failure: a count of the program's bytes would not match the
  // terminal's, so a short write is carried on here.
  static long write_plain_terminal(const unsigned char* bytes, std::size_t size) {
    std::string text;
    append_plain_terminal_text(bytes, size, text);
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n == 0 || errno != EINTR) {
        return -1;
      }
    }
    return static_cast<long>(size);
  }
};

}  // namespace

Platform native_platform() {
  static PosixProcess process;
  // A closed pipe on standard output is reported as a failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  return Platform{&terminal_screen(), &terminal_keys(), &process, &native_files()};
}

}  // namespace zepa
