#include "support/memory_process.h"

#include <algorithm>
#include <cstring>

#include "startup.h"

namespace zepa::testing {

long MemoryProcess::read_input(unsigned char* buffer, std::size_t size) {
  const std::size_t n = std::min({size, read_chunk, input.size() - input_position});
  std::memcpy(buffer, input.data() + input_position, n);
  input_position += n;
  return static_cast<long>(n);
}

long MemoryProcess::write_output(const unsigned char* bytes, std::size_t size) {
  std::size_t n = size;
  if (output_room >= 0) {
    if (output_room == 0) return -1;
    n = std::min(n, static_cast<std::size_t>(output_room));
    output_room -= static_cast<long>(n);
  }
  output.append(reinterpret_cast<const char*>(bytes), n);
  return static_cast<long>(n);
}

int MemoryProcess::run_command(const std::string& command) {
  commands.push_back(command);
  return command_status;
}

RedirectedPlatform::RedirectedPlatform() {
  install_platform(Platform{&screen, &keys, &process});
  reset_runtime_state();
}

}  // namespace zepa::testing
