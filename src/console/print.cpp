#include "console/print.h"

#include <cstring>

#include "console/console_writer.h"
#include "console/number_text.h"
#include "platform/platform.h"
#include "sys/channels.h"
#include "sys/std_streams.h"

namespace zepa {

namespace {

constexpr unsigned char kLineEnd[2] = {13, 10};
constexpr int kZoneWidth = 14;

// Writes bytes to a channel: the console (always taken) or a file channel.
int channel_write(int channel, const unsigned char* bytes, std::size_t n) {
  if (channel == 0) {
    console_setup();
    ConsoleChannel& console = console_channel();
    console_write(bytes, n);
    advance_column(console.column, console.width, bytes, n);
    if (platform().process != nullptr && platform().process->transcript()) stdout_write(bytes, n);
    return kDone;
  }
  return write_bytes(channel_record(channel), bytes, n);
}

bool names_a_channel(int channel) {
  return channel >= 0 && channel <= kChannelCount;
}

int zone_advance(int channel) {
  std::uint32_t column = 0;
  std::int32_t width = 0;
  if (channel == 0) {
    console_setup();
    column = console_channel().column;
    width = console_channel().width;
  } else if (ChannelRecord* record = channel_record(channel)) {
    column = record->column;
    width = record->width;
  }
  const long long c = column;
  long long zone = (c + kZoneWidth) / kZoneWidth * kZoneWidth + 1;
  if (width != 0 && zone > static_cast<long long>(width) - kZoneWidth) zone = 1;
  if (zone <= c + 1) return channel_write(channel, kLineEnd, 2);
  unsigned char blanks[kZoneWidth];
  std::memset(blanks, ' ', sizeof blanks);
  return channel_write(channel, blanks, static_cast<std::size_t>(zone - c - 1));
}

int end_action(int channel, int action) {
  if (action & (kEndLine | kEndLine4)) return channel_write(channel, kLineEnd, 2);
  if (action & kEndZone) return zone_advance(channel);
  return kDone;
}

int first_failure(int a, int b) {
  return a != kDone ? a : b;
}

// Console output that goes to standard output (redirected): the bytes go straight into its
// buffer. A line end leaves the column at 0 whatever the text held, so only an item without
// one looks at its bytes.
int print_redirected(ConsoleChannel& console, std::string_view text, int action) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (action & (kEndLine | kEndLine4)) {
    stdout_write_line(bytes, text.size());
    console.column = 0;
    return kDone;
  }
  if (text.empty()) return (action & kEndZone) != 0 ? zone_advance(0) : kDone;
  stdout_write(bytes, text.size());
  advance_column(console.column, console.width, bytes, text.size());
  return (action & kEndZone) != 0 ? zone_advance(0) : kDone;
}

// print_text to a console grid or a file channel.
int print_to_channel(int channel, std::string_view text, int action) {
  if (!names_a_channel(channel)) return kInvalidRequest;
  int result = kDone;
  if (!text.empty()) {
    result =
        channel_write(channel, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  }
  return first_failure(result, end_action(channel, action));
}

}  // namespace

int print_text(int channel, std::string_view text, int action) {
  if (channel == 0) {
    console_setup();  // the console's first operation sets it up
    if (console_is_degenerate()) return print_redirected(console_channel(), text, action);
  }
  return print_to_channel(channel, text, action);
}

int print_number(int channel, float value, int action) {
  return print_text(channel, single_text(value).view(), action);
}

int print_end(int channel, int action) {
  if (channel == 0) {
    console_setup();
    if (console_is_degenerate()) return print_redirected(console_channel(), {}, action);
  }
  if (!names_a_channel(channel)) return kInvalidRequest;
  return end_action(channel, action);
}

}  // namespace zepa
