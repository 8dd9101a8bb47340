#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/key_source.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/screen_buffer.h"

namespace zepa::testing {

// Standard input, output and error in memory, and a command processor that records.
class MemoryProcess : public Process {
 public:
  InputKind kind = InputKind::kRedirected;
  std::string input;
  std::size_t input_position = 0;
  std::size_t read_chunk = 1 << 20;  // most bytes one read returns
  std::string output;
  long output_room = -1;  // bytes standard output still takes; negative: no limit
  std::string errors;
  std::vector<std::string> commands;
  int command_status = 0;

  bool records_dialogue = false;  // transcript()

  InputKind input_kind() override { return kind; }
  bool transcript() override { return records_dialogue; }
  long read_input(unsigned char* buffer, std::size_t size) override;
  long write_output(const unsigned char* bytes, std::size_t size) override;
  void write_error(std::string_view text) override { errors.append(text); }
  std::string installed_page;  // what installed_file gives, whatever the name asked
  std::string installed_file(std::string_view) override { return installed_page; }
  std::string help_command(std::string_view url) override { return "browse " + std::string(url); }
  int run_command(const std::string& command) override;
  // Recorded among the commands as "open <path>", with the same status.
  int open_file(const std::string& path) override { return run_command("open " + path); }
  int signals_held = 0;  // hold_signals() calls not yet released
  void hold_signals() override { ++signals_held; }
  void release_signals() override { --signals_held; }
  // Thrown by end_hung_up, which may not return.
  struct HungUp {};
  [[noreturn]] void end_hung_up() override { throw HungUp{}; }
  char directory_separator() override { return '/'; }
};

// A key source with nothing to give.
class NoKeys : public KeySource {
 public:
  void setup() override {}
  void install_event_handler(void (*)()) override {}
  void wait(int) override {}
};

// Installs a redirected platform (memory process, no console, no keys) over freshly reset
// process-wide records; restores nothing, each test makes its own.
struct RedirectedPlatform {
  MemoryProcess process;
  NoScreen screen;
  NoKeys keys;
  RedirectedPlatform();
};

}  // namespace zepa::testing
