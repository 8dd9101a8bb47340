#include "sys/command.h"

#include "platform/platform.h"
#include "sys/std_streams.h"

namespace zepa {

int run_command(std::string_view command) {
  if (command.empty()) return -1;
  flush_all_output();
  return platform().process->run_command(std::string(command));
}

int open_file(const std::string& path) {
  flush_all_output();
  return platform().process->open_file(path);
}

int open_web_page(std::string_view url) {
  return run_command(platform().process->help_command(url));
}

std::string installed_file(std::string_view name) {
  return platform().process->installed_file(name);
}

}  // namespace zepa
