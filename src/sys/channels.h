#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace zepa {

// Result codes of the channel operations.
inline constexpr int kDone = 0;
inline constexpr int kInvalidRequest = 1;
inline constexpr int kOpenFailed = 2;
inline constexpr int kShortWrite = 3;

inline constexpr int kChannelCount = 255;
inline constexpr std::size_t kChannelBufferSize = 8192;

struct ChannelRecord;

// What an open file channel does with its stream.
struct DiskFileOps {
  int (*close)(ChannelRecord& record);
  int (*write)(ChannelRecord& record, const unsigned char* bytes, std::size_t n);
};

struct ChannelRecord {
  const DiskFileOps* operations = nullptr;  // none: the channel is free
  std::FILE* stream = nullptr;              // unbuffered: the channel buffers itself
  unsigned char* buffer = nullptr;          // kChannelBufferSize bytes, written out when full
  std::size_t buffered = 0;                 // and at the close
  std::int64_t size = -1;
  std::uint32_t column = 0;
  std::int32_t width = 0;  // 0: no line width
};

// The column rule shared by all channels, the console's included: after the last 13 or 10 in
// the bytes the column is the count of bytes after it, otherwise it grows by n; then modulo a
// width that is not 0.
void advance_column(std::uint32_t& column, std::int32_t width, const unsigned char* bytes,
                    std::size_t n);

// The record of file channel 1..255; nullptr for any other number.
ChannelRecord* channel_record(int channel);

// Opens `name` for appending ("ab", 8192-byte full buffering) on `channel`: 0 done, 1 invalid
// request (number outside 1..255, channel already open, position unreadable), 2 open failed.
int open_append(std::string_view name, int channel);

// Hands bytes to an open channel's stream: 0, 1 (no open channel), 3 (fewer bytes taken; the
// column stays). Updates the channel's column on success.
int write_bytes(ChannelRecord* record, const unsigned char* bytes, std::size_t n);

// Closes a file channel, writing out its buffered bytes: 0, 1 (not a file channel or not
// open), 3 (the buffered bytes could not be written out; the channel is free all the same).
int close_channel(int channel);

// Closes every open file channel (the end of the program).
void close_all_channels();

// Frees every record without closing streams (start-up and tests).
void reset_channels();

}  // namespace zepa
