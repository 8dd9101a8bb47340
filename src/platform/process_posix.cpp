#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/descriptor_posix.h"
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
    const long n = read_waiting(STDIN_FILENO, buffer, size);
    if (n > 0 || input_kind() != InputKind::kPlainTerminal) return n;
    // A terminal gives EIO once it is gone, or the end of input (for good, and poll() says
    // POLLHUP), whether SIGHUP came or was ignored: unlike an end typed with Ctrl+D, no
    // more reply can come.
    if (n < 0) return errno == EIO ? kHungUp : n;
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    const bool hung_up = poll(&input, 1, 0) > 0 && (input.revents & POLLHUP) != 0;
    return hung_up ? kHungUp : 0;
  }

  long write_output(const unsigned char* bytes, std::size_t size) override {
    if (plain_terminal_output()) return write_plain_terminal(bytes, size);
    return write_waiting(STDOUT_FILENO, bytes, size);
  }

  void write_error(std::string_view text) override {
    // Standard error is the last resort: a failure there has nowhere to be reported.
    write_all_waiting(STDERR_FILENO, text.data(), text.size());
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

  // The web address is the program's own and holds no single quote.
  std::string help_command(std::string_view url) override {
    return "xdg-open '" + std::string(url) + "'";
  }

  // The path travels as a percent-encoded file:// URL, which holds no single quote and no
  // character the shell reads inside one: the opener gets exactly the page's path.
  int open_file(const std::string& path) override {
    return run_command("xdg-open '" + file_url(path) + "'");
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
      // Ignored signals stay ignored across exec: the opener gets the usual ones.
      std::signal(SIGPIPE, SIG_DFL);
      std::signal(SIGXFSZ, SIG_DFL);
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

  void hold_signals() override {
    if (held_++ > 0) return;
    static const sigset_t held = [] {
      sigset_t all;
      sigfillset(&all);
      for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        sigdelset(&all, fault);
      }
      return all;
    }();
    sigprocmask(SIG_BLOCK, &held, &before_hold_);
  }

  void release_signals() override {
    if (held_ == 0 || --held_ > 0) return;
    sigprocmask(SIG_SETMASK, &before_hold_, nullptr);  // what came meanwhile takes effect here
  }

  [[noreturn]] void end_hung_up() override {
    leave_terminal_mode();  // the modes back, if the terminal still takes them
    std::signal(SIGHUP, SIG_DFL);
    sigset_t hangup;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &hangup, nullptr);
    raise(SIGHUP);
    // Only if the default action did not end the process (cppcheck takes raise() as the end).
    // cppcheck-suppress unreachableCode
    _exit(128 + SIGHUP);
  }

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
    return write_all_waiting(STDOUT_FILENO, text.data(), text.size()) ? static_cast<long>(size)
                                                                      : -1;
  }

  int held_ = 0;
  sigset_t before_hold_{};
};

}  // namespace

Platform native_platform() {
  static PosixProcess process;
  // A closed pipe on standard output is reported as a failed write, not a silent death; a
  // write past the file-size limit fails with EFBIG (the memo is then not recorded, a full
  // standard output is reported) instead of ending the program.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // A parent that ignored SIGCHLD would have the help opener reaped by the system, and its
  // status lost (waitpid fails with ECHILD).
  std::signal(SIGCHLD, SIG_DFL);
  // A mask left by the parent would swallow Ctrl+C, a hang-up and the signals the key wait
  // answers (SIGWINCH, SIGCONT): none is blocked from here on. A signal the parent made
  // ignored stays ignored, as a background job's Ctrl+C is.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  return Platform{&terminal_screen(), &terminal_keys(), &process, &native_files()};
}

}  // namespace zepa
