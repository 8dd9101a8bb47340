#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/key_source.h"

namespace zepa {

// Where an install prefix keeps the program's files, relative to the prefix.
inline constexpr const char* kShareDirectory = "share/zepa4-07";

// How standard input reaches the program.
enum class InputKind {
  kRedirected,     // a file or a pipe: items are read byte by byte, no prompts
  kConsole,        // a console or a terminal that can address the cursor: the line editor
  kPlainTerminal,  // a terminal that cannot address the cursor: its own line discipline
};

// What the operating system gives the program besides the console grid.
class Process {
 public:
  virtual ~Process() = default;

  virtual InputKind input_kind() = 0;
  // Whether standard input and standard output are both files or pipes: no console, no
  // terminal, the dialogue's bytes in and out unchanged.
  virtual bool batch() const { return false; }
  // Reads up to `size` bytes of standard input, waiting for them: the count read, 0 at its
  // end, -1 on failure, kHungUp when it is a terminal that has hung up.
  virtual long read_input(unsigned char* buffer, std::size_t size) = 0;
  // Writes to standard output, waiting while it cannot take more: the count written (may be
  // short), -1 on failure.
  virtual long write_output(const unsigned char* bytes, std::size_t size) = 0;
  // Whether standard output records the dialogue while it runs on the terminal: standard
  // input is a terminal the line editor reads (the screen drawn on that terminal) and standard
  // output a file or a pipe. It then receives what the print operations write and each reply
  // as typed, never a cursor move or a redraw of the editor.
  virtual bool transcript() { return false; }
  // Writes a diagnostic line to standard error; failures there have nowhere to go.
  virtual void write_error(std::string_view text) = 0;
  // The installed copy of the program's file `name`: beside the executable (a build tree, the
  // Windows zip), else in ../share/zepa4-07/ relative to it (an install prefix, the Debian
  // package). The first of the two that exists, or empty when neither does.
  virtual std::string installed_file(std::string_view name) = 0;
  // The command line that opens the web address `url` in the user's browser.
  virtual std::string help_command(std::string_view url) = 0;
  // Runs `command` through the command processor and waits: its status.
  virtual int run_command(const std::string& command) = 0;
  // Opens the local file `path` with the program the user has chosen for its kind (the help
  // page in the browser) and waits for the opener: 0 when it reports success. The path reaches
  // the opener as it is, whatever characters it holds.
  virtual int open_file(const std::string& path) = 0;
  // From hold_signals() to release_signals() a signal that would end the process (or stop
  // it) waits, and takes effect at the release: a memo being written is finished first.
  // Synchronous faults (SIGSEGV and the like) are not held. Calls nest.
  virtual void hold_signals() {}
  virtual void release_signals() {}
  // Ends the process as a hang-up of its terminal does (by SIGHUP on POSIX).
  [[noreturn]] virtual void end_hung_up() = 0;
  // The directory separator of file names.
  virtual char directory_separator() = 0;
};

}  // namespace zepa
