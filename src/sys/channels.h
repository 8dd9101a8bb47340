#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/file.h"

namespace zepa {

// Errors in the files-and-process layer: the channel operations (and the print operations
// above them) return these result codes; the standard streams report a byte or -1 for the end
// of input and keep a failed output as a state (stdout_failed); run_command and open_file
// return the opener's status. Only lifecycle.h's two ends, which the dialogue calls, end the
// process.

// Result codes of the channel operations.
inline constexpr int kDone = 0;
inline constexpr int kInvalidRequest = 1;
inline constexpr int kOpenFailed = 2;
inline constexpr int kShortWrite = 3;
// Every byte was taken, but the system then reported a failure (of the sync, of the close):
// they may not be in the file.
inline constexpr int kUnconfirmed = 4;

inline constexpr int kChannelCount = 255;
inline constexpr std::size_t kChannelBufferSize = 8192;

struct ChannelRecord {
  bool open = false;  // taken, from the start of its open to its close
  FileHandle file = kNoFile;
  std::unique_ptr<unsigned char[]> buffer;  // kChannelBufferSize bytes, written out when full
  std::size_t buffered = 0;                 // and at the close
  std::int64_t size = -1;                   // the file's end just after the open
  std::int64_t appended = 0;                // bytes this opening has added to the file
  bool torn = false;                        // bytes were refused: the file is cut back at the close
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

// Opens `name` for appending (8192-byte full buffering) on `channel`, without waiting on a pipe
// or a device: 0 done, 1 invalid request (number outside 1..255, channel already open, position
// unreadable, the file is standard output's), 2 open failed (the lock too: see Files::lock).
// The file's end is recorded as the channel's size. Until the close the file is locked against
// the program's other processes and the signals that would end this one are held.
int open_append(std::string_view name, int channel);

// Hands bytes to an open channel's stream: 0, 1 (no open channel), 3 (fewer bytes taken; the
// column stays). Updates the channel's column on success.
int write_bytes(ChannelRecord* record, const unsigned char* bytes, std::size_t n);

// Writes out an open channel's buffered bytes and waits until they are on the disk: 0, 1 (not
// open), 3 (some bytes were not taken), 4 (the system could not confirm them).
int sync_channel(int channel);

// Closes a file channel, writing out its buffered bytes: 0, 1 (not a file channel or not
// open), 3 (some bytes were not taken), 4 (the close failed after every byte was taken); the
// channel is free all the same. Each write is checked against the size limit and the disk's
// room first; what this opening added before a write that failed all the same is cut off
// again: the file holds all of the channel's bytes or none of them.
int close_channel(int channel);

// Waits until the bytes of the file `name`, closed by now, are on the disk: 0, or 4 when it
// cannot be opened or the system could not confirm them.
int sync_file(std::string_view name);

// Closes every open file channel (the end of the program).
void close_all_channels();

// Frees every record without closing streams (start-up and tests).
void reset_channels();

}  // namespace zepa
