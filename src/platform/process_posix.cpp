#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/terminal.h"

namespace zepa {

namespace {

class PosixProcess final : public Process {
 public:
  InputKind input_kind() override {
    // Standard input keeps its kind for the life of the process: asked once, not per line.
    static const InputKind kind = !isatty(STDIN_FILENO)        ? InputKind::kRedirected
                                  : terminal_addresses_cursor() ? InputKind::kConsole
                                                                : InputKind::kPlainTerminal;
    return kind;
  }

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

  std::string help_command(std::string_view url) override {
    return "xdg-open '" + std::string(url) + "'";
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
};

}  // namespace

Platform native_platform() {
  static PosixProcess process;
  // A closed pipe on standard output is reported as a failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  return Platform{&terminal_screen(), &terminal_keys(), &process};
}

}  // namespace zepa
