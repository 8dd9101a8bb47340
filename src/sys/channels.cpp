#include "sys/channels.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace zepa {

namespace {

ChannelRecord g_channels[kChannelCount];
bool g_sweep_needed = false;

Files& files() {
  Files* installed = platform().files;
  return installed != nullptr ? *installed : native_files();
}

// The name with the platform's directory separator in place of each "/".
std::string native_path(std::string_view name) {
  std::string path(name);
  const char separator = platform().process->directory_separator();
  if (separator != '/') {
    for (char& ch : path) {
      if (ch == '/') ch = separator;
    }
  }
  return path;
}

// Hands bytes to the file in one write, once the file-size limit and the disk have agreed to
// take them all: a memo that does not fit fails before its first byte. A write that still
// comes up short (a file system that sets no space aside) is cut off at the close.
bool hand_over(ChannelRecord& record, const unsigned char* bytes, std::size_t n) {
  if (!files().reserve(record.file, record.size + record.appended, n)) {
    record.torn = true;
    return false;
  }
  const long taken = files().append(record.file, bytes, n);
  if (taken > 0) record.appended += taken;
  if (taken == static_cast<long>(n)) return true;
  record.torn = true;
  return false;
}

// Once bytes were refused nothing more is written out: all of it goes with the cut.
bool write_out(ChannelRecord& record) {
  const std::size_t n = record.buffered;
  record.buffered = 0;
  if (record.torn) return false;
  return n == 0 || hand_over(record, record.buffer.get(), n);
}

// The cut happens under the lock taken at the open, so the bytes it takes are this opening's
// own; the close gives the lock back, and then the signals held since the open take effect.
int close_file(ChannelRecord& record) {
  if (record.file == kNoFile) return kDone;
  write_out(record);
  if (record.torn && record.appended > 0) {
    files().cut_back(record.file, record.size + record.appended, record.size);
  }
  const bool closed = files().close(record.file);
  record.file = kNoFile;
  platform().process->release_signals();
  if (record.torn) return kShortWrite;
  return closed ? kDone : kUnconfirmed;
}

// Full buffering with 8192 bytes: each print item is a copy into the buffer, and a memo
// reaches the file in one write at its close.
int buffer_bytes(ChannelRecord& record, const unsigned char* bytes, std::size_t n) {
  if (record.file == kNoFile) return kInvalidRequest;
  if (record.buffered + n > kChannelBufferSize) {
    if (!write_out(record)) return kShortWrite;
    if (n >= kChannelBufferSize) return hand_over(record, bytes, n) ? kDone : kShortWrite;
  }
  std::memcpy(record.buffer.get() + record.buffered, bytes, n);
  record.buffered += n;
  return kDone;
}

}  // namespace

ChannelRecord* channel_record(int channel) {
  if (channel < 1 || channel > kChannelCount) return nullptr;
  return &g_channels[channel - 1];
}

int open_append(std::string_view name, int channel) {
  ChannelRecord* record = channel_record(channel);
  if (record == nullptr || record->open) return kInvalidRequest;
  g_sweep_needed = true;
  *record = ChannelRecord{};
  const std::string path = native_path(name);
  record->open = true;
  const FileHandle file = files().open_append(path.c_str());
  if (file == kNoFile) {
    *record = ChannelRecord{};
    return kOpenFailed;
  }
  // From here to the close, no other process of the program appends (it waits for the lock)
  // and no signal ends this one: the end read now stays the end, and what this opening writes
  // is whole or cut off again. A lock that cannot be had fails the open.
  if (!files().lock(file)) {
    files().close(file);
    *record = ChannelRecord{};
    return kOpenFailed;
  }
  platform().process->hold_signals();
  // The one position read of the open: a pipe (one with a reader) has none and is given up,
  // and so is standard output's file, where the dialogue's bytes would land among the memos.
  const std::int64_t position = files().end_position(file);
  if (position < 0) {
    files().close(file);
    platform().process->release_signals();
    *record = ChannelRecord{};
    return kInvalidRequest;
  }
  record->size = position;
  record->file = file;
  record->buffer.reset(new unsigned char[kChannelBufferSize]);  // not cleared: written before read
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
  if (record == nullptr || !record->open) return kInvalidRequest;
  const int result = buffer_bytes(*record, bytes, n);
  if (result != kDone) return result;
  advance_column(record->column, record->width, bytes, n);
  return kDone;
}

int sync_channel(int channel) {
  ChannelRecord* record = channel_record(channel);
  if (record == nullptr || !record->open || record->file == kNoFile) {
    return kInvalidRequest;
  }
  if (!write_out(*record)) return kShortWrite;
  return files().sync(record->file) ? kDone : kUnconfirmed;
}

int close_channel(int channel) {
  ChannelRecord* record = channel_record(channel);
  if (record == nullptr || !record->open) return kInvalidRequest;
  const int result = close_file(*record);
  *record = ChannelRecord{};
  return result;
}

int sync_file(std::string_view name) {
  return files().sync_path(native_path(name).c_str()) ? kDone : kUnconfirmed;
}

void close_all_channels() {
  if (!g_sweep_needed) return;
  g_sweep_needed = false;
  for (ChannelRecord& record : g_channels) {
    // At the end of the program there is no one left to tell about a failed write-out.
    if (record.open) close_file(record);
    record = ChannelRecord{};
  }
}

void reset_channels() {
  for (ChannelRecord& record : g_channels) record = ChannelRecord{};
  g_sweep_needed = false;
}

}  // namespace zepa
