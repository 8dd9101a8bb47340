#include "console/console_writer.h"

#include "console/print.h"
#include "platform/platform.h"
#include "sys/std_streams.h"

namespace zepa {

// Placeholder: every write goes to standard output unchanged, as with a redirected output.
void console_setup() {}

void console_write(const unsigned char* bytes, std::size_t length, bool settle) {
  if (length == 0 && !settle) return;
  if (length > 0) stdout_write(bytes, length);
}

void clear_screen(std::uint32_t) { console_channel().column = 0; }

ConsoleSize console_size() { return {80, 25}; }

CursorCell cursor_position() { return {0, 0}; }

std::uint32_t locate(int, int, int) { return 0; }

bool console_is_degenerate() { return true; }

void reset_console_state() {}

}  // namespace zepa
