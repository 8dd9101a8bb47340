#include "sys/channels.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace zepa {

namespace {

ChannelRecord g_channels[kChannelCount];
// Each channel's write buffer; a page is only touched when its channel is used.
unsigned char g_buffers[kChannelCount][kChannelBufferSize];
bool g_sweep_needed = false;

// Hands the buffered bytes to the stream in one write; false when it took fewer.
bool write_out(ChannelRecord& record) {
  const std::size_t n = record.buffered;
  record.buffered = 0;
  return n == 0 || std::fwrite(record.buffer, 1, n, record.stream) == n;
}

int disk_close(ChannelRecord& record) {
  int result = kDone;
  if (record.stream != nullptr) {
    // The buffered bytes are written out here; a failure (a full disk) means the memo is not
    // in the file, which the caller must be able to tell.
    if (!write_out(record)) result = kShortWrite;
    if (std::fclose(record.stream) != 0) result = kShortWrite;
    record.stream = nullptr;
  }
  return result;
}

// Full buffering with 8192 bytes, done here rather than by the C library: each print item is
// a copy into the buffer, and a memo reaches the file in one write at its close.
int disk_write(ChannelRecord& record, const unsigned char* bytes, std::size_t n) {
  if (record.stream == nullptr) return kInvalidRequest;
  if (record.buffered + n > kChannelBufferSize) {
    if (!write_out(record)) return kShortWrite;
    if (n >= kChannelBufferSize) {
      return std::fwrite(bytes, 1, n, record.stream) == n ? kDone : kShortWrite;
    }
  }
  std::memcpy(record.buffer + record.buffered, bytes, n);
  record.buffered += n;
  return kDone;
}

constexpr DiskFileOps kDiskFileOps = {disk_close, disk_write};

}  // namespace

ChannelRecord* channel_record(int channel) {
  if (channel < 1 || channel > kChannelCount) return nullptr;
  return &g_channels[channel - 1];
}

int open_append(std::string_view name, int channel) {
  ChannelRecord* record = channel_record(channel);
  if (record == nullptr || record->operations != nullptr) return kInvalidRequest;
  g_sweep_needed = true;
  *record = ChannelRecord{};
  std::string path(name);
  const char separator = platform().process->directory_separator();
  for (char& ch : path) {
    if (ch == '/') ch = separator;
  }
  record->operations = &kDiskFileOps;
  std::FILE* stream = std::fopen(path.c_str(), "ab");
  if (stream == nullptr) {
    *record = ChannelRecord{};
    return kOpenFailed;
  }
  std::setvbuf(stream, nullptr, _IONBF, 0);
  const long position = std::ftell(stream);
  if (position < 0) {
    std::fclose(stream);
    *record = ChannelRecord{};
    return kInvalidRequest;
  }
  record->size = position;
  record->stream = stream;
  record->buffer = g_buffers[channel - 1];
  return kDone;
}

void advance_column(std::uint32_t& column, std::int32_t width, const unsigned char* bytes,
                    std::size_t n) {
  // Most items hold no line end at all: two fast searches settle that before any byte loop.
  if (n > 0 && (bytes[n - 1] == 13 || bytes[n - 1] == 10)) {
    column = 0;
  } else if (std::memchr(bytes, 13, n) == nullptr && std::memchr(bytes, 10, n) == nullptr) {
    column += static_cast<std::uint32_t>(n);
  } else {
    std::size_t i = n;
    while (bytes[i - 1] != 13 && bytes[i - 1] != 10) --i;
    column = static_cast<std::uint32_t>(n - i);
  }
  if (width != 0) column %= static_cast<std::uint32_t>(width);
}

int write_bytes(ChannelRecord* record, const unsigned char* bytes, std::size_t n) {
  if (record == nullptr || record->operations == nullptr) return kInvalidRequest;
  const int result = record->operations->write(*record, bytes, n);
  if (result != kDone) return result;
  advance_column(record->column, record->width, bytes, n);
  return kDone;
}

int close_channel(int channel) {
  ChannelRecord* record = channel_record(channel);
  if (record == nullptr || record->operations == nullptr) return kInvalidRequest;
  const int result = record->operations->close(*record);
  *record = ChannelRecord{};
  return result;
}

void close_all_channels() {
  if (!g_sweep_needed) return;
  g_sweep_needed = false;
  for (ChannelRecord& record : g_channels) {
    // At the end of the program there is no one left to tell about a failed write-out.
    if (record.operations != nullptr) record.operations->close(record);
    record = ChannelRecord{};
  }
}

void reset_channels() {
  for (ChannelRecord& record : g_channels) record = ChannelRecord{};
  g_sweep_needed = false;
}

}  // namespace zepa
