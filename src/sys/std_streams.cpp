#include "sys/std_streams.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace zepa {

namespace {

constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

constexpr std::string_view kOutputWarning =
    "zepa4-07: a saida padrao nao aceitou os dados; o que faltava gravar se perdeu";

struct OutputState {
  unsigned char bytes[kBufferSize];
  std::size_t count = 0;
  bool failed = false;
  bool warning_pending = false;  // for the console to show
};

struct InputState {
  unsigned char bytes[kBufferSize];
  std::size_t position = 0;
  std::size_t count = 0;
  bool ended = false;
  bool hung_up = false;  // the end came from a terminal that hung up
  bool failed = false;   // the end came from a read that failed
};

OutputState g_out;
InputState g_in;

void write_through(const unsigned char* bytes, std::size_t n) {
  while (n > 0 && !g_out.failed) {
    const long written = platform().process->write_output(bytes, n);
    if (written <= 0) {
      g_out.failed = true;
      if (platform().process->transcript()) {
        g_out.warning_pending = true;  // the dialogue's terminal shows it
      } else {
        stderr_write_line(kOutputWarning);
      }
      return;
    }
    bytes += written;
    n -= static_cast<std::size_t>(written);
  }
}

}  // namespace

void stdout_write(const unsigned char* bytes, std::size_t n) {
  if (g_out.failed) return;
  if (g_out.count + n > kBufferSize) {
    stdout_flush();
    if (n >= kBufferSize) {
      write_through(bytes, n);
      return;
    }
  }
  if (n != 0) std::memcpy(g_out.bytes + g_out.count, bytes, n);  // an empty text may have none
  g_out.count += n;
}

void stdout_write_line(const unsigned char* bytes, std::size_t n) {
  if (g_out.failed) return;
  if (g_out.count + n + 2 > kBufferSize) {
    static constexpr unsigned char kLineEnd[2] = {13, 10};
    if (n != 0) stdout_write(bytes, n);
    stdout_write(kLineEnd, 2);
    return;
  }
  unsigned char* out = g_out.bytes + g_out.count;
  if (n != 0) std::memcpy(out, bytes, n);  // an empty text may have no bytes at all
  out[n] = 13;
  out[n + 1] = 10;
  g_out.count += n + 2;
}

void stdout_flush() {
  const std::size_t n = g_out.count;
  g_out.count = 0;
  write_through(g_out.bytes, n);
}

bool stdout_failed() {
  return g_out.failed;
}

std::string_view take_stdout_warning() {
  if (!g_out.warning_pending) return {};
  g_out.warning_pending = false;
  return kOutputWarning;
}

void stderr_write_line(std::string_view text) {
  platform().process->write_error(std::string(text) + "\n");
}

void flush_all_output() {
  if (platform().screen != nullptr) platform().screen->flush();
  stdout_flush();
}

int stdin_next_byte() {
  if (g_in.position == g_in.count) {
    if (g_in.ended) return -1;
    // A program driving this one through pipes must see every result before it answers.
    stdout_flush();
    const long n = platform().process->read_input(g_in.bytes, kBufferSize);
    if (n == kHungUp) g_in.hung_up = true;
    if (n < 0 && n != kHungUp) g_in.failed = true;
    if (n <= 0) {
      g_in.ended = true;
      return -1;
    }
    g_in.position = 0;
    g_in.count = static_cast<std::size_t>(n);
  }
  return g_in.bytes[g_in.position++];
}

bool stdin_hung_up() {
  return g_in.hung_up;
}

bool stdin_failed() {
  return g_in.failed;
}

std::size_t stdin_buffered(const unsigned char*& bytes) {
  bytes = g_in.bytes + g_in.position;
  return g_in.count - g_in.position;
}

void stdin_take(std::size_t n) {
  g_in.position += n;
}

void reset_std_streams() {
  g_out.count = 0;
  g_out.failed = false;
  g_out.warning_pending = false;
  g_in.position = g_in.count = 0;
  g_in.ended = false;
  g_in.hung_up = false;
  g_in.failed = false;
}

}  // namespace zepa
